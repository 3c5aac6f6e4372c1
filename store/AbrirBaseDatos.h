// Finding the yearly-limits database: the file "Zelmarot.zdb" in the executable's folder.
// Windows file systems ignore letter case and the file travels from them, so any spelling
// of the name counts. Nothing here opens the file.
#pragma once

#include <filesystem>
#include <string>

// The database file's name as the program spells it.
inline constexpr const char* NombreBaseDatos = "Zelmarot.zdb";

// The folder that holds the running executable (from /proc/self/exe), or an empty path
// when the system will not tell.
std::filesystem::path CarpetaEjecutable();

// The regular file in folder whose name is "Zelmarot.zdb" in any letter case, or an empty
// path when there is none or the folder cannot be read. When several spellings exist the
// exact one wins, then the first in byte order, so the choice never depends on the order
// in which the system lists the folder.
std::filesystem::path BuscaBaseDatos(const std::filesystem::path& carpeta);

// The path of the database file next to the executable, or "" when there is none (the
// calculator then works in manual mode).
std::string AbrirBaseDatos();
