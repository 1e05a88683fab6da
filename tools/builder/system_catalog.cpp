#include "tools/builder/system_catalog.h"

#include <cstring>

namespace build::writer {
namespace {

using jet::Column;
using jet::StoredType;
using namespace jet::layout;

constexpr int kNameLength = 255;  // characters
// Binary columns are declared in bytes: Jet 4.0 gives its system tables' ones 510.
constexpr int kJet4Binary = 510;
constexpr int kJet3Binary = 255;
// The containers Access adds count down from the lowest Id.
constexpr std::int32_t kFirstAccessId = std::int32_t(0x80000000u);

Column text(const char *name) { return {name, StoredType::Text, kNameLength}; }
Column binary(const char *name, int bytes) { return {name, StoredType::Binary, bytes}; }
Column of(const char *name, StoredType type) { return {name, type}; }

std::vector<Column> objectColumns(int binaryBytes)
{
    return {of("Id", StoredType::Long),         of("ParentId", StoredType::Long),
            text("Name"),                       of("Type", StoredType::Int),
            of("DateCreate", StoredType::Date), of("DateUpdate", StoredType::Date),
            binary("Owner", binaryBytes),       of("Flags", StoredType::Long),
            of("Database", StoredType::Memo),   of("Connect", StoredType::Memo),
            text("ForeignName"),                binary("RmtInfoShort", binaryBytes),
            of("RmtInfoLong", StoredType::Ole), of("Lv", StoredType::Ole),
            of("LvProp", StoredType::Ole),      of("LvModule", StoredType::Ole),
            of("LvExtra", StoredType::Ole)};
}

/// Jet's own system tables, on pages 3, 4 and 5 as in Access's files.
std::vector<SystemTable> engineTables(int binaryBytes)
{
    return {
        {"MSysACEs",
         {of("ObjectId", StoredType::Long), binary("SID", binaryBytes), of("ACM", StoredType::Long),
          of("FInheritable", StoredType::Boolean)},
         kEngineObjectFlags},
        {"MSysQueries",
         {of("ObjectId", StoredType::Long), of("Attribute", StoredType::Byte), binary("Order", binaryBytes),
          text("Name1"), text("Name2"), of("Expression", StoredType::Memo), of("Flag", StoredType::Int),
          of("LvExtra", StoredType::Long)},
         kEngineObjectFlags},
        {"MSysRelationships",
         {text("szRelationship"), of("grbit", StoredType::Long), of("ccolumn", StoredType::Long),
          of("icolumn", StoredType::Long), text("szObject"), text("szColumn"), text("szReferencedObject"),
          text("szReferencedColumn")},
         kEngineObjectFlags},
    };
}

std::vector<Container> containers(bool dataAccessPages)
{
    std::vector<Container> c = {{kTablesContainerId, "Tables", kEngineObjectFlags},
                                {kDatabasesContainerId, "Databases", kEngineObjectFlags},
                                {kRelationshipsContainerId, "Relationships", kEngineObjectFlags}};
    std::int32_t id = kFirstAccessId;
    if (dataAccessPages)  // came with Access 2000
        c.push_back({id++, "DataAccessPages", 0});
    for (const char *name : {"Forms", "Modules", "Reports", "Scripts", "SysRel"})
        c.push_back({id++, name, 0});
    return c;
}

// The tables behind multi-valued and attachment columns, which ACE keeps in every file.
constexpr std::uint32_t kComplexTypeFlags = 0x80030000u;

std::vector<SystemTable> aceTables()
{
    std::vector<SystemTable> t = engineTables(kJet4Binary);
    t.push_back({"MSysComplexColumns",
                 {text("ColumnName"), of("ComplexTypeObjectID", StoredType::Long), of("FlatTableID", StoredType::Long),
                  of("ConceptualTableID", StoredType::Long), of("ComplexID", StoredType::Long)},
                 kEngineObjectFlags, false});
    const auto value = [](StoredType type) { return std::vector<Column>{{"Value", type}}; };
    t.push_back({"MSysComplexType_UnsignedByte", value(StoredType::Byte), kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_Short", value(StoredType::Int), kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_Long", value(StoredType::Long), kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_IEEESingle", value(StoredType::Float), kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_IEEEDouble", value(StoredType::Double), kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_GUID", value(StoredType::Guid), kComplexTypeFlags, false});
    Column decimal{"Value", StoredType::Numeric};
    decimal.precision = 18;
    t.push_back({"MSysComplexType_Decimal", {decimal}, kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_Text", {text("Value")}, kComplexTypeFlags, false});
    t.push_back({"MSysComplexType_Attachment",
                 {of("FileURL", StoredType::Memo), text("FileName"), text("FileType"), of("FileData", StoredType::Ole),
                  of("FileTimeStamp", StoredType::Date), of("FileFlags", StoredType::Long)},
                 kComplexTypeFlags, false});
    return t;
}

}  // namespace

const SystemCatalog &systemCatalogFor(const jet::layout::Format &format)
{
    const Layout &l = *format.layout;
    static const SystemCatalog jet3{objectColumns(kJet3Binary), containers(false), engineTables(kJet3Binary)};
    static const SystemCatalog jet4{objectColumns(kJet4Binary), containers(true), engineTables(kJet4Binary)};
    static const SystemCatalog ace{objectColumns(kJet4Binary), containers(true), aceTables()};
    if (l.textUnitBytes == 1)
        return jet3;
    return std::strcmp(format.magic, jet::layout::kAceMagic) == 0 ? ace : jet4;
}

}  // namespace build::writer
