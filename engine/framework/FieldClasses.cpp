#include "engine/framework/FieldClasses.h"

#include "engine/framework/BlobFields.h"
#include "engine/framework/BooleanField.h"
#include "engine/framework/DateTimeFields.h"
#include "engine/framework/NumericFields.h"
#include "engine/framework/StringFields.h"

namespace data {

int NativeDataSize(TFieldType type, int size) {
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftGuid:
      return size + 1;
    case TFieldType::ftWideString:
      return (size + 1) * 2;
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftBoolean:
      return 2;
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
      return 4;
    case TFieldType::ftLargeint:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
      return 8;
    default:
      return 0;
  }
}

std::unique_ptr<TField> CreateFieldOfType(TFieldType type) {
  switch (type) {
    case TFieldType::ftString: return std::make_unique<TStringField>();
    case TFieldType::ftFixedChar: {
      auto field = std::make_unique<TStringField>();
      field->SetFixedChar(true);
      return field;
    }
    case TFieldType::ftGuid: return std::make_unique<TGuidField>();
    case TFieldType::ftWideString: return std::make_unique<TWideStringField>();
    case TFieldType::ftSmallint: return std::make_unique<TSmallintField>();
    case TFieldType::ftInteger: return std::make_unique<TIntegerField>();
    case TFieldType::ftWord: return std::make_unique<TWordField>();
    case TFieldType::ftAutoInc: return std::make_unique<TAutoIncField>();
    case TFieldType::ftLargeint: return std::make_unique<TLargeintField>();
    case TFieldType::ftFloat: return std::make_unique<TFloatField>();
    case TFieldType::ftCurrency: return std::make_unique<TCurrencyField>();
    case TFieldType::ftBoolean: return std::make_unique<TBooleanField>();
    case TFieldType::ftDate: return std::make_unique<TDateField>();
    case TFieldType::ftTime: return std::make_unique<TTimeField>();
    case TFieldType::ftDateTime: return std::make_unique<TDateTimeField>();
    case TFieldType::ftTimeStamp: return std::make_unique<TDateTimeField>(TFieldType::ftTimeStamp);
    case TFieldType::ftBlob: return std::make_unique<TBlobField>();
    case TFieldType::ftMemo: return std::make_unique<TMemoField>();
    default: return nullptr;
  }
}

}  // namespace data
