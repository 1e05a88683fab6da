#include "table_source.h"

namespace jet {

int adoType(ColumnType type)
{
    switch (type) {
    case ColumnType::Long: return ado::adInteger;
    case ColumnType::Int: return ado::adSmallInt;
    case ColumnType::Byte: return ado::adUnsignedTinyInt;
    case ColumnType::Text: return ado::adVarWChar;
    case ColumnType::Memo: return ado::adLongVarWChar;
    case ColumnType::Money: return ado::adCurrency;
    case ColumnType::Boolean: return ado::adBoolean;
    case ColumnType::Double: return ado::adDouble;
    case ColumnType::Float: return ado::adSingle;
    case ColumnType::Date: return ado::adDate;
    case ColumnType::Numeric: return ado::adNumeric;
    case ColumnType::Guid: return ado::adGUID;
    case ColumnType::Binary: return ado::adBinary;
    case ColumnType::Ole: return ado::adLongVarBinary;
    }
    return ado::adEmpty;
}

const char *scriptWord(ColumnType type)
{
    switch (type) {
    case ColumnType::Long: return "LONG";
    case ColumnType::Int: return "INT";
    case ColumnType::Byte: return "BYTE";
    case ColumnType::Text: return "TEXT";
    case ColumnType::Memo: return "MEMO";
    case ColumnType::Money: return "MONEY";
    case ColumnType::Boolean: return "BOOLEAN";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::Float: return "FLOAT";
    case ColumnType::Date: return "DATE";
    case ColumnType::Numeric: return "NUMERIC";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Binary: return "BINARY";
    case ColumnType::Ole: return "OLE";
    }
    return "";
}

bool isTextual(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo:
    case ColumnType::Numeric:
    case ColumnType::Guid:
    case ColumnType::Binary:
    case ColumnType::Ole:
        return true;
    default:
        return false;
    }
}

}  // namespace jet
