#!/usr/bin/env bash
# Makes the supplied Zelmarot.zdb in a folder from data/*.csv, with the zdb tool.
# A database already there is the user's own and is never overwritten.
set -euo pipefail
ZDB=$1
TARGET_DIR=$2
DATA_DIR=$(cd "$(dirname "$0")/../data" && pwd)

shopt -s nocaseglob
existing=("$TARGET_DIR"/zelmarot.zdb)
shopt -u nocaseglob
[ -e "${existing[0]}" ] && exit 0

TEMP="$TARGET_DIR/.Zelmarot.zdb.new"
rm -f "$TEMP"
"$ZDB" create "$TEMP" --max-connections 500 >/dev/null
"$ZDB" create-table "$TEMP" Maximo --field any:INTEGER --field PenMax:FLOAT --field TopeCot:FLOAT \
  --index ANY:any:primary >/dev/null
"$ZDB" create-table "$TEMP" Control --field PorPMax:FLOAT --field PorTCot:FLOAT >/dev/null
"$ZDB" load "$TEMP" Maximo "$DATA_DIR/limites.csv" >/dev/null
"$ZDB" load "$TEMP" Control "$DATA_DIR/porcentajes.csv" >/dev/null
# Only a complete file takes the name the program looks for.
mv "$TEMP" "$TARGET_DIR/Zelmarot.zdb"
