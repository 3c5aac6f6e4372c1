#include "engine/base/DataSetTypes.h"

namespace data {

const char* FieldTypeName(TFieldType type) {
  switch (type) {
    case TFieldType::ftString: return "String";
    case TFieldType::ftSmallint: return "SmallInt";
    case TFieldType::ftInteger: return "Integer";
    case TFieldType::ftWord: return "Word";
    case TFieldType::ftBoolean: return "Boolean";
    case TFieldType::ftFloat: return "Float";
    case TFieldType::ftCurrency: return "Currency";
    case TFieldType::ftBCD: return "BCD";
    case TFieldType::ftDate: return "Date";
    case TFieldType::ftTime: return "Time";
    case TFieldType::ftDateTime: return "DateTime";
    case TFieldType::ftBytes: return "Bytes";
    case TFieldType::ftVarBytes: return "VarBytes";
    case TFieldType::ftAutoInc: return "AutoInc";
    case TFieldType::ftBlob: return "Blob";
    case TFieldType::ftMemo: return "Memo";
    case TFieldType::ftGraphic: return "Graphic";
    case TFieldType::ftFmtMemo: return "FmtMemo";
    case TFieldType::ftParadoxOle: return "ParadoxOle";
    case TFieldType::ftDBaseOle: return "DBaseOle";
    case TFieldType::ftTypedBinary: return "TypedBinary";
    case TFieldType::ftFixedChar: return "FixedChar";
    case TFieldType::ftWideString: return "WideString";
    case TFieldType::ftLargeint: return "LargeInt";
    case TFieldType::ftOraBlob: return "OraBlob";
    case TFieldType::ftOraClob: return "OraClob";
    case TFieldType::ftGuid: return "Guid";
    case TFieldType::ftTimeStamp: return "TimeStamp";
    case TFieldType::ftUnknown: break;
  }
  return "Unknown";
}

bool IsWriteState(TDataSetState state) {
  switch (state) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
    case TDataSetState::dsSetKey:
    case TDataSetState::dsCalcFields:
    case TDataSetState::dsFilter:
    case TDataSetState::dsNewValue:
    case TDataSetState::dsInternalCalc:
      return true;
    default:
      return false;
  }
}

bool IsEditState(TDataSetState state) {
  return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert || state == TDataSetState::dsSetKey;
}

}  // namespace data
