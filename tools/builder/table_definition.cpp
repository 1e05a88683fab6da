#include "tools/builder/writer.h"

#include "jet/codec.h"
#include "tools/builder/table_properties.h"
#include "tools/builder/value_encoding.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace build::writer {

ColumnPlan planColumn(const jet::Column &c, const Layout &l)
{
    const jet::StoredTypeInfo &t = jet::info(c.type);
    if (c.calculated) {
        // Among the variable values, as Access keeps them, the wrapping counted in.
        if (c.type == jet::StoredType::Memo)
            return {t.code, false, 0u};
        if (c.type == jet::StoredType::Text)
            return {t.code, false, unsigned(c.length) * l.textUnitBytes + unsigned(jet::codec::kCalculatedExtra)};
        return {t.code, false, unsigned(jet::codec::kCalculatedFixedLength)};
    }
    if (t.fixedSize != jet::kVariableSize)
        return {t.code, true, t.fixedSize};
    if (c.type == jet::StoredType::Text)
        return {t.code, false, unsigned(c.length) * l.textUnitBytes};
    return {t.code, false, c.type == jet::StoredType::Binary ? unsigned(c.length) : 0u};
}

namespace {
// The result types Access lets an expression give.
bool calculable(jet::StoredType type)
{
    switch (type) {
    case jet::StoredType::Int:
    case jet::StoredType::Long:
    case jet::StoredType::Float:
    case jet::StoredType::Double:
    case jet::StoredType::Date:
    case jet::StoredType::Money:
    case jet::StoredType::Boolean:
    case jet::StoredType::Numeric:
    case jet::StoredType::Guid:
    case jet::StoredType::Text:
    case jet::StoredType::Memo: return true;
    default: return false;
    }
}
}  // namespace

void checkTable(const TableDef &t, const jet::layout::Format &format)
{
    const Layout &l = *format.layout;
    checkName(t.name, "table name");
    if (t.columns.empty() || t.columns.size() > kMaxColumns)
        throw BuildError("table '" + t.name + "' has " + std::to_string(t.columns.size()) +
                         " columns; a Jet table has 1 to 255");
    int autoNumbers = 0;
    for (const jet::Column &c : t.columns) {
        checkName(c.name, "column name in table '" + t.name + "'");
        const std::string where = "column '" + c.name + "' of table '" + t.name + "'";
        if (c.type == jet::StoredType::Text && (c.length < 1 || c.length > int(kMaxTextLength)))
            throw BuildError(where + " is Text " + std::to_string(c.length) + "; Text holds 1 to 255 characters");
        if (c.type == jet::StoredType::Numeric && (c.precision < 1 || c.precision > jet::kMaxDecimalPrecision || c.scale < 0 ||
                                                    c.scale > c.precision))
            throw BuildError(where + " is DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.scale) +
                             "); precision is 1 to " + std::to_string(jet::kMaxDecimalPrecision) +
                             " and scale 0 to the precision");
        if (c.type == jet::StoredType::Numeric && !l.hasDecimal)
            throw BuildError(where + " is DECIMAL, which " + l.name + " does not have");
        if (c.autoNumber && c.type != jet::StoredType::Long)
            throw BuildError(where + " is an AutoNumber that is not a Long");
        if (jet::info(c.type).newest && !format.newestTypes)
            throw BuildError(where + " is " + jet::scriptWord(c.type) + ", which " + format.name +
                             " does not have; --format ace16 has it");
        if (c.calculated && !format.calculated)
            throw BuildError(where + " is calculated, which " + format.name + " does not have; --format ace16 has it");
        if (c.calculated && (c.autoNumber || !calculable(c.type)))
            throw BuildError(where + " is calculated as " + (c.autoNumber ? "an AutoNumber" : jet::scriptWord(c.type)) +
                             ", which no expression gives");
        autoNumbers += c.autoNumber;
    }
    if (autoNumbers > 1)
        throw BuildError("table '" + t.name + "' has more than one AutoNumber column");
    for (const std::string &key : t.primaryKey)
        if (std::none_of(t.columns.begin(), t.columns.end(), [&](const jet::Column &c) { return c.name == key; }))
            throw BuildError("the primary key of table '" + t.name + "' names no column '" + key + "'");
}

std::vector<TableDef> Writer::systemTables() const
{
    std::vector<TableDef> t;
    t.push_back({kCatalogName, m_system.objectColumns, {"Id"}});
    for (const SystemTable &s : m_system.tables)
        t.push_back({s.name, s.columns, {}});
    return t;
}

bool Writer::checkCatalogNames(const std::vector<TableDef> &tables)
{
    for (const TableDef &t : tables) {
        const QString name = QString::fromStdString(t.name);
        for (const SystemTable &s : m_system.tables)
            if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
                throw BuildError("the table name '" + t.name + "' is taken by a system table that every " +
                                 m_format.name + " file holds");
    }
    for (const TableDef &t : tables) {
        std::string key;
        if (const char16_t c = index::appendNameKey(key, QString::fromStdString(t.name).toStdU16String(), m_l)) {
            // A key out of Jet's order would hide other tables from a lookup too; none is safer.
            const std::string shown = QChar::isSurrogate(c) ? "a character beyond U+FFFF"
                                                            : "'" + QString(QChar(c)).toStdString() + "'";
            m_warnings.push_back("the table name '" + t.name + "' holds " + shown +
                                 ", which this builder cannot place in the system catalog's index of names as Jet "
                                 "sorts them (it places the letters A to Z, the digits" +
                                 (m_l.textUnitBytes == 1 ? "" : " and _") +
                                 "), so no such index is written; Access finds tables through it and may need to "
                                 "repair the file");
            return false;
        }
    }
    return true;
}

TablePlan Writer::plan(const TableDef &t, bool system)
{
    TablePlan p;
    p.def = &t;
    p.system = system;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        ColumnPlan c = planColumn(t.columns[i], m_l);
        if (c.fixed) {
            c.fixedOffset = p.fixedSize;
            p.fixedSize += c.size;
        } else {
            c.varIndex = unsigned(p.varOrder.size());
            p.varOrder.push_back(unsigned(i));
        }
        p.columns.push_back(c);
    }
    for (const std::string &key : t.primaryKey)
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == key)
                p.keyColumns.push_back(unsigned(i));
    planIndex(p);
    return p;
}

void Writer::planIndex(TablePlan &p)
{
    if (p.keyColumns.empty())
        return;
    const TableDef &t = *p.def;
    for (unsigned i : p.keyColumns)
        if (!index::keyable(t.columns[i].type)) {
            m_warnings.push_back("table '" + t.name + "': no primary-key index is written, since the key column '" +
                                 t.columns[i].name +
                                 "' is not a whole number (Byte, Integer or Long) whose index entries this builder "
                                 "can write as Jet sorts them; the key is still checked for Null and repeats");
            return;
        }
    if (p.keyColumns.size() > index::kMaxKeyColumns) {
        m_warnings.push_back("table '" + t.name + "': no primary-key index is written, since a Jet index holds at most 10 "
                             "columns; the key is still checked for Null and repeats");
        return;
    }
    unsigned width = 0;
    for (unsigned i : p.keyColumns)
        width += 1 + p.columns[i].size;
    p.indexed = true;
    p.keyEntries = index::KeyEntries(width);
}

std::size_t Writer::pagesFor(std::size_t definitionSize) const
{
    const std::size_t first = m_l.pageSize;
    if (definitionSize <= first)
        return 1;
    const std::size_t more = m_l.pageSize - m_l.tdefContinuationHeader;
    return 1 + (definitionSize - first + more - 1) / more;
}

Bytes Writer::tableDefinition(const TablePlan &p) const
{
    const TableDef &t = *p.def;
    Bytes b(m_l.tdefHeaderEnd, 0);
    b[0] = PageKind::TableDef;
    b[1] = 1;
    if (m_l.tdefMagic != kNone)
        put32(&b[m_l.tdefMagic], m_l.tdefMagicValue);
    put32(&b[m_l.tdefRowCount], p.rows);
    put32(&b[m_l.tdefAutoNumber], p.lastAutoNumber);
    if (m_l.tdefAutoNumberFlag != kNone)
        b[m_l.tdefAutoNumberFlag] = 1;
    b[m_l.tdefTableType] = p.system ? kSystemTable : kUserTable;
    put16(&b[m_l.tdefMaxColumns], unsigned(t.columns.size()));
    put16(&b[m_l.tdefVarColumns], unsigned(p.varOrder.size()));
    put16(&b[m_l.tdefColumnCount], unsigned(t.columns.size()));
    const unsigned indexes = unsigned(p.namedIndexes.size()) + (p.indexed ? 1 : 0);
    put32(&b[m_l.tdefIndexCount], indexes);
    put32(&b[m_l.tdefRealIndexCount], indexes);
    put32(&b[m_l.tdefUsageMap], p.usageMapRow);
    put32(&b[m_l.tdefFreeMap], p.freeMapRow);
    for (unsigned i = 0; i < indexes; ++i) {
        b.resize(b.size() + m_il.rowCountEntryBytes, 0);
        put32(&b[b.size() - m_il.rowCountEntryBytes + m_il.rowCountEntryRows], p.rows);
    }
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const jet::Column &c = t.columns[i];
        const ColumnPlan &cp = p.columns[i];
        const std::size_t at = b.size();
        b.resize(at + m_l.columnEntryBytes, 0);
        std::uint8_t *e = &b[at];
        e[m_l.columnType] = cp.code;
        if (m_l.columnMagic != kNone)
            put32(e + m_l.columnMagic, m_l.tdefMagicValue);
        put16(e + m_l.columnNumber, unsigned(i));
        put16(e + m_l.columnVarIndex, cp.fixed ? 0 : cp.varIndex);
        put16(e + m_l.columnNumberAgain, unsigned(i));
        if (c.type == jet::StoredType::Text || c.type == jet::StoredType::Memo) {
            put16(e + m_l.columnSortOrder, kSortGeneral);
            if (m_l.columnCodePage != kNone)
                put16(e + m_l.columnCodePage, kCodePageWestern);
            if (m_l.columnExtraFlags != kNone && !c.calculated)
                e[m_l.columnExtraFlags] = 1;  // text may be stored compressed
        }
        if (c.calculated) {
            e[m_l.columnExtraFlags] = jet::kCalculatedFlags;  // a calculated decimal keeps no precision here
        } else if (c.type == jet::StoredType::Numeric) {
            e[m_l.columnPrecision] = std::uint8_t(c.precision);
            e[m_l.columnPrecision + 1] = std::uint8_t(c.scale);
        }
        e[m_l.columnFlags] = std::uint8_t((cp.fixed ? Fixed : 0) | (c.autoNumber ? AutoLong : Updatable));
        put16(e + m_l.columnFixedOffset, cp.fixed ? cp.fixedOffset : 0);
        put16(e + m_l.columnLength, c.type == jet::StoredType::Boolean && !c.calculated ? 1 : cp.size);
    }
    for (const jet::Column &c : t.columns) {
        const std::u16string name = QString::fromStdString(c.name).toStdU16String();
        if (m_l.columnNameLengthBytes == 1) {
            const std::string bytes = encoding::codePageText(name);
            b.push_back(std::uint8_t(bytes.size()));
            appendBytes(b, bytes);
        } else {
            append16(b, unsigned(name.size() * 2));
            for (char16_t u : name)
                append16(b, u);
        }
    }
    if (indexes > 0)
        appendIndexDefinitions(b, p);
    append16(b, 0xffff);  // no long-value column maps follow
    put32(&b[m_l.tdefLength], std::uint32_t(b.size()));
    return b;
}

void Writer::appendIndexDefinitions(Bytes &b, const TablePlan &p) const
{
    struct Real {
        const std::vector<unsigned> *columns;
        std::uint32_t mapRow, root;
        std::uint8_t flags;
        std::u16string_view name;
        std::uint8_t type;
    };
    // Access's catalog indexes are unique without marking their columns required.
    const std::uint8_t catalogFlags = std::uint8_t(m_il.primaryKeyFlags & ~kRequired);
    std::vector<Real> reals;
    for (const NamedIndex &n : p.namedIndexes)
        reals.push_back({&n.columns, n.mapRow, n.tree.root, catalogFlags, n.name, kNormalIndexType});
    if (p.indexed)
        reals.push_back({&p.keyColumns, p.indexMapRow, p.indexTree.root, p.catalog ? catalogFlags : m_il.primaryKeyFlags,
                         p.keyName, kPrimaryKeyType});

    for (const Real &r : reals) {
        const std::size_t at = b.size();
        b.resize(at + m_il.realIndexBytes, 0);
        std::uint8_t *real = &b[at];
        if (m_il.leadingMagic != kNone)
            put32(real + m_il.leadingMagic, m_il.realIndexMagic);
        for (unsigned slot = 0; slot < index::kMaxKeyColumns; ++slot) {
            std::uint8_t *c = real + m_il.realIndexColumns + 3 * slot;
            const bool used = slot < r.columns->size();
            put16(c, used ? (*r.columns)[slot] : index::kUnusedColumnSlot);
            c[2] = used ? index::kAscending : 0;
        }
        put32(real + m_il.realIndexUsageMap, r.mapRow);
        put32(real + m_il.realIndexRootPage, r.root);
        real[m_il.realIndexFlags] = r.flags;
    }

    // The logical indexes go in the order of their names, each numbered as its real one.
    std::vector<unsigned> order(reals.size());
    for (unsigned i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned c) { return reals[a].name < reals[c].name; });
    for (unsigned i : order) {
        const std::size_t at = b.size();
        b.resize(at + m_il.logicalIndexBytes, 0);
        std::uint8_t *logical = &b[at];
        if (m_il.leadingMagic != kNone)
            put32(logical + m_il.leadingMagic, m_l.tdefMagicValue);
        put32(logical + m_il.logicalIndexNumber, i);
        put32(logical + m_il.logicalRealIndex, i);
        put32(logical + m_il.logicalRelatedIndex, index::kNoRelatedIndex);
        logical[m_il.logicalIndexType] = reals[i].type;
    }
    for (unsigned i : order) {
        const std::u16string_view name = reals[i].name;
        if (m_il.nameLengthBytes == 1) {
            b.push_back(std::uint8_t(name.size()));
            for (char16_t u : name)
                b.push_back(std::uint8_t(u));
        } else {
            append16(b, unsigned(name.size() * 2));
            for (char16_t u : name)
                append16(b, u);
        }
    }
}

void Writer::writeTableDefinition(const TablePlan &p)
{
    const Bytes def = tableDefinition(p);
    Bytes page(m_l.pageSize);
    std::size_t taken = 0;
    for (std::uint32_t i = 0; i < p.tdefPages; ++i) {
        std::fill(page.begin(), page.end(), 0);
        std::size_t start = 0;
        if (i == 0) {
            taken = std::min<std::size_t>(def.size(), m_l.pageSize);
            std::copy(def.begin(), def.begin() + std::ptrdiff_t(taken), page.begin());
            start = taken;
        } else {
            page[0] = PageKind::TableDef;
            page[1] = 1;
            const std::size_t n = std::min<std::size_t>(def.size() - taken, m_l.pageSize - m_l.tdefContinuationHeader);
            std::copy(def.begin() + std::ptrdiff_t(taken), def.begin() + std::ptrdiff_t(taken + n),
                      page.begin() + m_l.tdefContinuationHeader);
            taken += n;
            start = m_l.tdefContinuationHeader + n;
        }
        const std::size_t used = start + m_l.tdefContinuationHeader;  // Jet keeps the free space less 8
        if (m_l.tdefKeepsFreeSpace)
            put16(&page[2], unsigned(used < m_l.pageSize ? m_l.pageSize - used : 0));
        else
            std::memcpy(&page[2], "VC", 2);
        put32(&page[4], i + 1 < p.tdefPages ? p.tdefPage + i + 1 : kNoPage);
        m_file.write(p.tdefPage + i, page.data());
    }
}

void Writer::writeCatalogRows()
{
    TablePlan &p = m_plans.front();
    const std::vector<jet::Column> &columns = p.def->columns;
    const auto column = [&](const char *name) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == name)
                return i;
        throw BuildError(std::string("internal: the system catalog has no column ") + name);
    };
    const std::size_t id = column("Id"), parent = column("ParentId"), name = column("Name"), type = column("Type"),
                      created = column("DateCreate"), updated = column("DateUpdate"), flags = column("Flags"),
                      props = column("LvProp");
    // One date for every object, the day Jet counts from, as the header's creation date: a
    // catalog built twice from one source is the same file.
    Value date;
    date.kind = Value::Kind::Text;
    date.bytes = "1899-12-30 00:00:00";
    NamedIndex *names = p.namedIndexes.empty() ? nullptr : &p.namedIndexes.front();
    const auto object = [&](std::int32_t objectId, std::int32_t parentId, const std::string &objectName,
                            ObjectType objectType, std::uint32_t objectFlags, const std::string &properties = {}) {
        std::vector<Value> row(columns.size());
        if (!properties.empty())
            row[props] = {Value::Kind::Blob, 0, 0.0, properties};
        row[id] = {Value::Kind::Integer, objectId};
        row[parent] = {Value::Kind::Integer, parentId};
        row[name].kind = Value::Kind::Text;
        row[name].bytes = objectName;
        row[type] = {Value::Kind::Integer, objectType};
        row[created] = row[updated] = date;
        row[flags] = {Value::Kind::Integer, std::int64_t(std::int32_t(objectFlags))};
        writeRow(p, row);
        if (!names)
            return;
        std::string key;
        std::uint8_t stored[4];
        put32(stored, std::uint32_t(parentId));
        index::appendKeyColumn(key, jet::StoredType::Long, stored, sizeof stored);
        if (index::appendNameKey(key, QString::fromStdString(objectName).toStdU16String(), m_l))
            throw BuildError("internal: no index entry for the object '" + objectName + "'");
        names->entries.add(key, {p.rows, std::uint32_t(p.dataPages.size()), std::uint8_t(m_data.rows() - 1)});
    };

    for (const Container &c : m_system.containers)
        object(c.id, kDatabaseObjectId, c.name, ContainerObject, c.flags);
    object(kDatabaseRowId, kDatabasesContainerId, "MSysDb", DatabaseObject, kEngineObjectFlags);
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        const TablePlan &t = m_plans[i];
        const std::uint32_t tableFlags = i == 0 ? kEngineObjectFlags : i < m_systemDefs.size() ? m_system.tables[i - 1].flags : 0;
        object(std::int32_t(t.tdefPage), kTablesContainerId, t.def->name, TableObject, tableFlags,
               properties::tableProperties(*t.def));
    }
    endTable(p);

    if (!names)
        return;
    if (names->entries.sortAndFindRepeat() != 0)
        throw BuildError("internal: two objects of one container have one name");
    names->tree = index::writeTree(
        names->entries, p.dataPages, p.tdefPage, m_l, m_il, [&](std::uint32_t n) { return m_file.allocate(n); },
        [&](std::uint32_t page, const std::uint8_t *bytes) { m_file.write(page, bytes); });
    names->entries.clear();
}

}  // namespace build::writer
