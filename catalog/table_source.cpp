#include "catalog/table_source.h"

namespace jet {

int adoType(StoredType type)
{
    switch (type) {
    case StoredType::Long: return ado::adInteger;
    case StoredType::Int: return ado::adSmallInt;
    case StoredType::Byte: return ado::adUnsignedTinyInt;
    case StoredType::Text: return ado::adVarWChar;
    case StoredType::Memo: return ado::adLongVarWChar;
    case StoredType::Money: return ado::adCurrency;
    case StoredType::Boolean: return ado::adBoolean;
    case StoredType::Double: return ado::adDouble;
    case StoredType::Float: return ado::adSingle;
    case StoredType::Date: return ado::adDate;
    case StoredType::Numeric: return ado::adNumeric;
    case StoredType::Guid: return ado::adGUID;
    case StoredType::Binary: return ado::adBinary;
    case StoredType::Ole: return ado::adLongVarBinary;
    case StoredType::BigInt: return ado::adBigInt;
    case StoredType::DateTimeExt: return ado::adDBTimeStamp;
    case StoredType::Count: break;
    }
    return ado::adEmpty;
}

}  // namespace jet
