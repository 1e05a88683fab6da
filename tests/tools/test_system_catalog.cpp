// The system catalog of every file catalog-build writes, checked by a strict reader of our
// own that finds tables as Access does: through MSysObjects' parent ids and its index on
// (ParentId, Name), walked from the definition's root page. The same checks run over the
// Access-made fixtures, so that the check itself is known to be right.

#include "jet/layout.h"
#include "jet/stored_type.h"
#include "tests/support/catalog_tool.h"
#include "tests/support/test_data.h"
#include "tools/builder/jet_index.h"

#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <optional>

namespace {

using namespace jet::layout;

struct Column {
    QString name;
    quint8 type = 0;
    int number = 0, varIndex = 0, fixedOffset = 0, length = 0;
    bool fixed = false;
    quint8 sortVersion = 0, flags = 0, precision = 0, scale = 0;
};

struct RealIndex {
    QList<int> columns;  // column numbers, in key order (all ascending)
    quint32 root = 0;
    quint8 flags = 0;
};

struct LogicalIndex {
    QString name;
    int real = 0;
    quint8 type = 0;
};

struct Definition {
    quint8 tableType = 0;
    quint32 rows = 0, usageMap = 0, freeMap = 0;
    QList<Column> columns;
    QList<RealIndex> reals;
    QList<LogicalIndex> logicals;
    const Column *column(const QString &name) const
    {
        for (const Column &c : columns)
            if (c.name == name)
                return &c;
        return nullptr;
    }
    /// Where the column `name`, which is there, lies among `columns`.
    int slot(const char *name) const { return int(column(QLatin1String(name)) - columns.constData()); }
    /// The columns in the order of their numbers.
    QList<Column> byNumber() const
    {
        QList<Column> c = columns;
        std::sort(c.begin(), c.end(), [](const Column &a, const Column &b) { return a.number < b.number; });
        return c;
    }
};

using Values = QList<std::optional<QByteArray>>;  // by column number; nullopt is Null

struct Record {
    quint32 page = 0;
    int slot = 0;
    Values values;
};

/// A Jet file read strictly: every pointer followed is checked, and each fault is named.
class StrictFile {
public:
    explicit StrictFile(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.size() < 0x80) {
            fail(QStringLiteral("cannot read %1").arg(path));
            return;
        }
        m_bytes = f.readAll();
        const Format *format = formatOf(reinterpret_cast<const unsigned char *>(m_bytes.constData()));
        m_l = format ? format->layout : nullptr;
        if (!m_l)
            fail(QStringLiteral("not a Jet file read here"));
        else
            m_il = &indexLayoutFor(*m_l);
    }
    const Layout *layout() const { return m_l; }
    QStringList faults() const { return m_faults; }
    void fail(const QString &what) { m_faults << what; }

    quint32 pages() const { return m_l ? quint32(m_bytes.size() / m_l->pageSize) : 0; }
    QByteArray page(quint32 n) const
    {
        return n < pages() ? m_bytes.mid(qsizetype(n) * m_l->pageSize, m_l->pageSize) : QByteArray();
    }
    static quint32 u16(const QByteArray &b, qsizetype at) { return quint8(b[at]) | quint32(quint8(b[at + 1])) << 8; }
    static quint32 u32(const QByteArray &b, qsizetype at) { return u16(b, at) | u16(b, at + 2) << 16; }

    std::optional<Definition> definition(quint32 pg)
    {
        QByteArray d;
        int hops = 0;
        for (quint32 p = pg, first = 1; p != 0; first = 0) {
            const QByteArray page = this->page(p);
            if (page.isEmpty() || page[0] != char(PageKind::TableDef) || ++hops > 64) {
                fail(QStringLiteral("page %1 is not a table definition").arg(p));
                return std::nullopt;
            }
            d += first ? page : page.mid(m_l->tdefContinuationHeader);
            p = u32(page, kTdefNextPage);
        }
        const Layout &l = *m_l;
        const IndexLayout &il = *m_il;
        Definition t;
        t.tableType = quint8(d[l.tdefTableType]);
        t.rows = u32(d, l.tdefRowCount);
        t.usageMap = u32(d, l.tdefUsageMap);
        t.freeMap = u32(d, l.tdefFreeMap);
        const quint32 columns = u16(d, l.tdefColumnCount), logicals = u32(d, l.tdefIndexCount),
                      reals = u32(d, l.tdefRealIndexCount);
        qsizetype at = l.tdefHeaderEnd + qsizetype(reals) * il.rowCountEntryBytes;
        for (quint32 i = 0; i < columns; ++i, at += l.columnEntryBytes) {
            Column c;
            c.type = quint8(d[at + l.columnType]);
            c.number = int(u16(d, at + l.columnNumber));
            c.varIndex = int(u16(d, at + l.columnVarIndex));
            c.flags = quint8(d[at + l.columnFlags]);
            c.fixed = c.flags & ColumnFlag::Fixed;
            if (c.type == jet::info(jet::StoredType::Numeric).code) {
                c.precision = quint8(d[at + l.columnPrecision]);
                c.scale = quint8(d[at + l.columnPrecision + 1]);
            }
            c.fixedOffset = int(u16(d, at + l.columnFixedOffset));
            c.length = int(u16(d, at + l.columnLength));
            if (l.columnCodePage == kNone)  // Jet 4 and ACE: the sort order's version follows it
                c.sortVersion = quint8(d[at + l.columnSortOrder + 3]);
            t.columns << c;
        }
        // A name as a definition keeps it, its length in one byte (Jet 3) or two (UTF-16 after it).
        const auto name = [&](unsigned lengthBytes) {
            const quint32 bytes = lengthBytes == 1 ? quint8(d[at]) : u16(d, at);
            const QByteArray text = d.mid(at + lengthBytes, bytes);
            at += lengthBytes + bytes;
            return lengthBytes == 1 ? QString::fromLatin1(text)
                                    : QString::fromUtf16(reinterpret_cast<const char16_t *>(text.constData()), bytes / 2);
        };
        for (Column &c : t.columns)
            c.name = name(l.columnNameLengthBytes);
        for (quint32 i = 0; i < reals; ++i, at += il.realIndexBytes) {
            RealIndex r;
            for (unsigned slot = 0; slot < kMaxKeyColumns; ++slot) {
                const quint32 column = u16(d, at + il.realIndexColumns + 3 * slot);
                if (column == kUnusedColumnSlot)
                    continue;
                r.columns << int(column);
                if (d[at + il.realIndexColumns + 3 * slot + 2] != char(build::index::kAscending))
                    fail(QStringLiteral("an index column is not ascending"));
            }
            r.root = u32(d, at + il.realIndexRootPage);
            r.flags = quint8(d[at + il.realIndexFlags]);
            t.reals << r;
        }
        for (quint32 i = 0; i < logicals; ++i, at += il.logicalIndexBytes) {
            LogicalIndex g;
            g.real = int(u32(d, at + il.logicalRealIndex));
            g.type = quint8(d[at + il.logicalIndexType]);
            t.logicals << g;
        }
        for (LogicalIndex &g : t.logicals) {
            g.name = name(il.nameLengthBytes);
            if (g.real < 0 || g.real >= t.reals.size())
                fail(QStringLiteral("index '%1' names no real index").arg(g.name));
        }
        if (at > d.size())
            fail(QStringLiteral("the definition on page %1 runs past its pages").arg(pg));
        return t;
    }

    /// The pages a usage map row names, from its page/row pointer.
    QList<quint32> mapPages(quint32 pointer)
    {
        const QByteArray row = rowBytes(pointer >> 8, int(pointer & 0xff));
        QList<quint32> pages;
        if (row.size() < 5) {
            fail(QStringLiteral("no usage map at page %1 row %2").arg(pointer >> 8).arg(pointer & 0xff));
            return pages;
        }
        if (row[0] == 0) {
            const quint32 first = u32(row, 1);
            for (qsizetype bit = 0; bit < (row.size() - 5) * 8; ++bit)
                if (quint8(row[5 + bit / 8]) & (1u << (bit % 8)))
                    pages << first + quint32(bit);
            return pages;
        }
        const quint32 perPage = (m_l->pageSize - m_l->mapPageHeader) * 8;
        for (qsizetype slot = 0; 1 + 4 * slot + 4 <= row.size(); ++slot) {
            const quint32 mapPage = u32(row, 1 + 4 * slot);
            if (mapPage == 0)
                continue;
            const QByteArray bits = page(mapPage);
            if (bits.isEmpty() || bits[0] != char(PageKind::UsageMap)) {
                fail(QStringLiteral("page %1 is not a usage map page").arg(mapPage));
                continue;
            }
            for (quint32 bit = 0; bit < perPage; ++bit)
                if (quint8(bits[m_l->mapPageHeader + bit / 8]) & (1u << (bit % 8)))
                    pages << quint32(slot) * perPage + bit;
        }
        return pages;
    }

    /// The bytes of row `slot` on data page `pg` (following a moved row once).
    QByteArray rowBytes(quint32 pg, int slot, bool followed = false)
    {
        const QByteArray p = page(pg);
        if (p.isEmpty() || p[0] != char(PageKind::Data) || slot >= int(u16(p, m_l->dataRowCount)))
            return {};
        const quint32 offset = u16(p, m_l->dataRowOffsets + 2 * slot);
        if (offset & kRowDeleted)
            return {};
        const quint32 start = offset & kRowOffsetMask;
        const quint32 end = slot == 0 ? m_l->pageSize : u16(p, m_l->dataRowOffsets + 2 * (slot - 1)) & kRowOffsetMask;
        if (start >= end || end > m_l->pageSize)
            return {};
        const QByteArray row = p.mid(start, end - start);
        if ((offset & kRowLookup) && !followed && row.size() >= 4) {
            const quint32 to = u32(row, 0);
            return rowBytes(to >> 8, int(to & 0xff), true);
        }
        return row;
    }

    /// The values of a row by column number, or nothing when it cannot be read.
    std::optional<Values> values(const Definition &t, const QByteArray &row)
    {
        const int unit = int(m_l->rowColumnCountBytes);
        if (row.size() < unit)
            return std::nullopt;
        const int count = unit == 1 ? quint8(row[0]) : int(u16(row, 0));
        const int mask = (count + 7) / 8;
        if (row.size() < unit + mask)
            return std::nullopt;
        const qsizetype maskAt = row.size() - mask;
        QList<quint32> varStarts;  // then the end of the variable data
        if (std::any_of(t.columns.begin(), t.columns.end(), [](const Column &c) { return !c.fixed; })) {
            if (unit == 2) {
                const int vars = int(u16(row, maskAt - 2));
                for (int k = 0; k <= vars; ++k)
                    varStarts << u16(row, maskAt - 4 - 2 * k);
            } else {
                const int vars = quint8(row[maskAt - 1]);
                const int jumps = int((row.size() - 1) / 256);
                QList<int> jump;
                for (int j = 0; j < jumps; ++j)
                    jump << quint8(row[maskAt - 2 - j]);
                for (int k = 0; k <= vars; ++k) {
                    quint32 offset = quint8(row[maskAt - 2 - jumps - k]);
                    for (int j : jump)
                        if (j <= k)
                            offset += 256;
                    varStarts << offset;
                }
            }
        }
        Values v(t.columns.size());
        for (const Column &c : t.columns) {
            if (c.number >= count || !(quint8(row[maskAt + c.number / 8]) & (1u << (c.number % 8))))
                continue;
            const int slot = int(&c - t.columns.constData());
            if (c.type == 0x01) {
                v[slot] = QByteArray("\1");
            } else if (c.fixed) {
                v[slot] = row.mid(unit + c.fixedOffset, c.length);
            } else if (c.varIndex + 1 < varStarts.size()) {
                const quint32 from = varStarts[c.varIndex], to = varStarts[c.varIndex + 1];
                if (from > to || to > quint32(maskAt))
                    return std::nullopt;
                v[slot] = row.mid(from, to - from);
            }
        }
        return v;
    }

    QString text(const QByteArray &b) const
    {
        if (m_l->textUnitBytes == 1)
            return QString::fromLatin1(b);
        if (b.startsWith("\xff\xfe")) {
            QString s;
            bool compressed = true;
            for (qsizetype i = 2; i < b.size();) {
                if (b[i] == 0) {
                    compressed = !compressed;
                    ++i;
                } else if (compressed) {
                    s += QChar(quint8(b[i++]));
                } else if (i + 1 < b.size()) {
                    s += QChar(char16_t(u16(b, i)));
                    i += 2;
                } else {
                    break;
                }
            }
            return s;
        }
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(b.constData()), b.size() / 2);
    }

    /// Every row of a table, through its usage map.
    QList<Record> records(const Definition &t, quint32 tdefPage)
    {
        QList<Record> out;
        for (quint32 pg : mapPages(t.usageMap)) {
            const QByteArray p = page(pg);
            if (p.isEmpty() || p[0] != char(PageKind::Data) || u32(p, 4) != tdefPage) {
                fail(QStringLiteral("page %1 in the usage map of the table on page %2 is not its data page").arg(pg).arg(tdefPage));
                continue;
            }
            for (int slot = 0; slot < int(u16(p, m_l->dataRowCount)); ++slot) {
                if (u16(p, m_l->dataRowOffsets + 2 * slot) & kRowDeleted)
                    continue;
                const std::optional<Values> v = values(t, rowBytes(pg, slot));
                if (!v)
                    fail(QStringLiteral("row %1 of page %2 cannot be read").arg(slot).arg(pg));
                else
                    out << Record{pg, slot, *v};
            }
        }
        if (quint32(out.size()) != t.rows)
            fail(QStringLiteral("the table on page %1 holds %2 rows, its definition says %3").arg(tdefPage).arg(out.size()).arg(t.rows));
        return out;
    }

    /// The leaf entries of an index in the order a walk from the root gives them, whole
    /// (shared prefixes put back), each ending in its row's page (3 bytes) and row.
    QList<QByteArray> leafEntries(quint32 root, quint32 tdefPage)
    {
        QList<QByteArray> out;
        QSet<quint32> seen;
        std::function<void(quint32)> walk = [&](quint32 pg) {
            const QByteArray p = page(pg);
            if (p.isEmpty() || (p[0] != 0x03 && p[0] != 0x04) || seen.contains(pg)) {
                fail(QStringLiteral("page %1 is not an index page of its own").arg(pg));
                return;
            }
            seen.insert(pg);
            if (u32(p, m_il->pageOwner) != tdefPage)
                fail(QStringLiteral("index page %1 does not name its table's definition").arg(pg));
            const bool leaf = p[0] == 0x04;
            for (const QByteArray &e : entriesOn(p))
                if (leaf)
                    out << e;
                else if (e.size() >= 4)
                    walk(quint32(quint8(e[e.size() - 4])) << 24 | quint32(quint8(e[e.size() - 3])) << 16 |
                         quint32(quint8(e[e.size() - 2])) << 8 | quint8(e[e.size() - 1]));
        };
        walk(root);
        return out;
    }

    /// Descends from the root to the leaf entry whose key is `key`, as a lookup does: at
    /// each intermediate page, into the first child whose last key is not below it.
    std::optional<QByteArray> find(quint32 root, const QByteArray &key)
    {
        quint32 pg = root;
        for (int depth = 0; depth < 16; ++depth) {
            const QByteArray p = page(pg);
            if (p.isEmpty() || (p[0] != 0x03 && p[0] != 0x04))
                return std::nullopt;
            const bool leaf = p[0] == 0x04;
            const qsizetype tail = leaf ? 4 : 8;
            std::optional<quint32> next;
            for (const QByteArray &e : entriesOn(p)) {
                const QByteArray k = e.left(e.size() - tail);
                if (leaf && k == key)
                    return e;
                if (!leaf && k >= key) {
                    next = u32be(e, e.size() - 4);
                    break;
                }
            }
            if (leaf || !next)
                return std::nullopt;
            pg = *next;
        }
        return std::nullopt;
    }

private:
    static quint32 u32be(const QByteArray &b, qsizetype at)
    {
        return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
               quint8(b[at + 3]);
    }
    QList<QByteArray> entriesOn(const QByteArray &p) const
    {
        QList<QByteArray> out;
        const qsizetype first = m_il->pageEntries, mask = m_il->pageEntryMask;
        const qsizetype prefix = u16(p, m_il->pagePrefixLength);
        QByteArray shared;
        qsizetype start = first;
        for (qsizetype bit = 1; bit < (first - mask) * 8 && first + bit <= p.size(); ++bit) {
            if (!(quint8(p[mask + bit / 8]) & (1u << (bit % 8))))
                continue;
            QByteArray e = p.mid(start, first + bit - start);
            if (out.isEmpty())
                shared = e.left(prefix);
            else
                e.prepend(shared);
            out << e;
            start = first + bit;
        }
        return out;
    }

    QByteArray m_bytes;
    const Layout *m_l = nullptr;
    const IndexLayout *m_il = nullptr;
    QStringList m_faults;
};

/// A table as Access gives it: its name and its columns' names and type codes.
struct TableShape {
    QString name;
    QList<QPair<QString, quint8>> columns;
    bool systemDefinition = true;  // ACE's complex-type tables are defined as user tables
};

// The type codes of the column entries.
constexpr quint8 kYesNo = 0x01, kByte = 0x02, kInteger = 0x03, kLong = 0x04, kSingle = 0x06, kDouble = 0x07,
                 kDateTime = 0x08, kBinary = 0x09, kText = 0x0a, kOle = 0x0b, kMemo = 0x0c, kGuid = 0x0f,
                 kDecimal = 0x10;

const TableShape kObjects = {
    QStringLiteral("MSysObjects"),
    {{"Id", kLong}, {"ParentId", kLong}, {"Name", kText}, {"Type", kInteger}, {"DateCreate", kDateTime},
     {"DateUpdate", kDateTime}, {"Owner", kBinary}, {"Flags", kLong}, {"Database", kMemo}, {"Connect", kMemo},
     {"ForeignName", kText}, {"RmtInfoShort", kBinary}, {"RmtInfoLong", kOle}, {"Lv", kOle}, {"LvProp", kOle},
     {"LvModule", kOle}, {"LvExtra", kOle}}};

/// The system tables that Jet keeps in a file of each version, as Access's own files have them.
QList<TableShape> systemTablesOf(bool ace)
{
    QList<TableShape> t = {
        kObjects,
        {"MSysACEs", {{"ObjectId", kLong}, {"SID", kBinary}, {"ACM", kLong}, {"FInheritable", kYesNo}}},
        {"MSysQueries",
         {{"ObjectId", kLong}, {"Attribute", kByte}, {"Order", kBinary}, {"Name1", kText}, {"Name2", kText},
          {"Expression", kMemo}, {"Flag", kInteger}, {"LvExtra", kLong}}},
        {"MSysRelationships",
         {{"szRelationship", kText}, {"grbit", kLong}, {"ccolumn", kLong}, {"icolumn", kLong}, {"szObject", kText},
          {"szColumn", kText}, {"szReferencedObject", kText}, {"szReferencedColumn", kText}}}};
    if (!ace)
        return t;
    t << TableShape{"MSysComplexColumns",
                    {{"ColumnName", kText}, {"ComplexTypeObjectID", kLong}, {"FlatTableID", kLong},
                     {"ConceptualTableID", kLong}, {"ComplexID", kLong}},
                    false};
    const QList<QPair<const char *, quint8>> values = {{"UnsignedByte", kByte}, {"Short", kInteger}, {"Long", kLong},
                                                       {"IEEESingle", kSingle}, {"IEEEDouble", kDouble},
                                                       {"GUID", kGuid}, {"Decimal", kDecimal}, {"Text", kText}};
    for (const auto &[type, code] : values)
        t << TableShape{QStringLiteral("MSysComplexType_") + QLatin1String(type), {{"Value", code}}, false};
    t << TableShape{"MSysComplexType_Attachment",
                    {{"FileURL", kMemo}, {"FileName", kText}, {"FileType", kText}, {"FileData", kOle},
                     {"FileTimeStamp", kDateTime}, {"FileFlags", kLong}},
                    false};
    return t;
}

/// The index form of a whole-number key column: present, then big-endian, sign turned over.
QByteArray longKey(qint32 v)
{
    const quint32 u = quint32(v) ^ 0x80000000u;
    return QByteArray("\x7f") + char(u >> 24) + char(u >> 16) + char(u >> 8) + char(u);
}

qint32 longOf(const std::optional<QByteArray> &v) { return v && v->size() == 4 ? qint32(StrictFile::u32(*v, 0)) : 0; }

/// A row of the catalog, and where it lies.
struct Object {
    qint32 id, parent, flags;
    qint16 type;
    QString name;
    quint32 page;
    int slot;
};

/// The rows of the catalog `catalog` (which has the columns read here); one without Id,
/// ParentId, Name or Type is a fault.
QList<Object> objectsOf(StrictFile &f, const Definition &catalog)
{
    const int idAt = catalog.slot("Id"), parentAt = catalog.slot("ParentId"), nameAt = catalog.slot("Name"),
              typeAt = catalog.slot("Type"), flagsAt = catalog.slot("Flags");
    QList<Object> objects;
    for (const Record &r : f.records(catalog, kCatalogTableDefPage)) {
        if (!r.values[idAt] || !r.values[parentAt] || !r.values[nameAt] || !r.values[typeAt])
            f.fail(QStringLiteral("an object row without Id, ParentId, Name or Type"));
        else
            objects << Object{longOf(r.values[idAt]), longOf(r.values[parentAt]), longOf(r.values[flagsAt]),
                              qint16(StrictFile::u16(*r.values[typeAt], 0)), f.text(*r.values[nameAt]), r.page, r.slot};
    }
    return objects;
}

/// Every check, as its faults (none when the file passes): the containers under the
/// database object, every object's parent, the version's system tables and their columns,
/// the catalog's two indexes walked whole, and each of `userTables` found by its key.
QStringList checkSystemCatalog(const QString &path, const QStringList &userTables)
{
    StrictFile f(path);
    if (!f.layout())
        return f.faults();
    const bool ace = f.page(0).mid(kMagicOffset, kMagicSize) == QByteArray(kAceMagic, kMagicSize);
    const std::optional<Definition> catalog = f.definition(kCatalogTableDefPage);
    if (!catalog)
        return f.faults();
    if (catalog->tableType != kSystemTable)
        f.fail(QStringLiteral("the catalog is not a system table"));
    const auto shapeOf = [](const Definition &t) {
        QList<QPair<QString, quint8>> c;
        for (const Column &col : t.byNumber())
            c << qMakePair(col.name, col.type);
        return c;
    };
    if (shapeOf(*catalog) != kObjects.columns)
        f.fail(QStringLiteral("MSysObjects has other columns than Access gives it"));
    const Column *nameColumn = catalog->column(QStringLiteral("Name"));
    for (const char *c : {"Id", "ParentId", "Name", "Type", "Flags"})
        if (!catalog->column(QLatin1String(c)))
            return f.faults() << QStringLiteral("MSysObjects has no column %1").arg(QLatin1String(c));
    const QList<Object> objects = objectsOf(f, *catalog);
    const auto named = [&](const QString &name, qint32 parent) -> const Object * {
        for (const Object &o : objects)
            if (o.parent == parent && o.name.compare(name, Qt::CaseInsensitive) == 0)
                return &o;
        return nullptr;
    };

    // The database object's containers, and MSysDb in Databases.
    QSet<qint32> containers;
    for (const Object &o : objects)
        if (o.type == ContainerObject)
            containers.insert(o.id);
    const QList<QPair<const char *, qint32>> engineContainers = {
        {"Tables", kTablesContainerId}, {"Databases", kDatabasesContainerId}, {"Relationships", kRelationshipsContainerId}};
    for (const auto &[name, id] : engineContainers) {
        const Object *o = named(QLatin1String(name), kDatabaseObjectId);
        if (!o || o->id != id || o->type != ContainerObject)
            f.fail(QStringLiteral("no container %1 with Id %2 under the database object").arg(QLatin1String(name)).arg(id, 0, 16));
    }
    const Object *db = named(QStringLiteral("MSysDb"), kDatabasesContainerId);
    if (!db || db->type != DatabaseObject)
        f.fail(QStringLiteral("no MSysDb under Databases"));

    // Every object's parent is a container of the right kind.
    for (const Object &o : objects) {
        const bool ok = o.type == ContainerObject ? o.parent == kDatabaseObjectId
                        : o.type == TableObject   ? o.parent == kTablesContainerId
                        : o.type == DatabaseObject ? o.parent == kDatabasesContainerId
                                                   : containers.contains(o.parent);
        if (!ok)
            f.fail(QStringLiteral("object '%1' (type %2) has the parent %3").arg(o.name).arg(o.type).arg(o.parent, 0, 16));
    }

    // The system tables of the version, each a system table with Access's columns and a
    // usage map, its object row flagged as Jet's.
    for (const TableShape &shape : systemTablesOf(ace)) {
        const Object *o = named(shape.name, kTablesContainerId);
        if (!o || o->type != TableObject) {
            f.fail(QStringLiteral("no system table %1 under Tables").arg(shape.name));
            continue;
        }
        if (!(quint32(o->flags) & kEngineObjectFlags))
            f.fail(QStringLiteral("%1 is not flagged as a system object").arg(shape.name));
        const quint32 page = quint32(o->id) & kObjectIdPageMask;
        const std::optional<Definition> t = f.definition(page);
        if (!t)
            continue;
        if (t->tableType != (shape.systemDefinition ? kSystemTable : kUserTable))
            f.fail(QStringLiteral("%1 is not defined as Access defines it").arg(shape.name));
        if (shapeOf(*t) != shape.columns)
            f.fail(QStringLiteral("%1 has other columns than Access gives it").arg(shape.name));
        f.records(*t, page);
        f.mapPages(t->freeMap);
    }
    if (const Object *self = named(QStringLiteral("MSysObjects"), kTablesContainerId);
        !self || quint32(self->id) != kCatalogTableDefPage)
        f.fail(QStringLiteral("MSysObjects' own row does not name page 2"));

    // The catalog's indexes: each holds one entry per object, in order, each leading to
    // the object whose values make its key.
    const auto logical = [&](const char16_t *name) -> const RealIndex * {
        for (const LogicalIndex &g : catalog->logicals)
            if (g.name == QString::fromUtf16(name))
                return &catalog->reals[g.real];
        return nullptr;
    };
    const RealIndex *byName = logical(kCatalogNameIndex), *byId = logical(kCatalogIdIndex);
    const QList<int> parentAndName = {catalog->column(QStringLiteral("ParentId"))->number, nameColumn->number};
    if (!byName || byName->columns != parentAndName)
        return f.faults() << QStringLiteral("no index ParentIdName on (ParentId, Name)");
    if (!byId || byId->columns != QList<int>{catalog->column(QStringLiteral("Id"))->number})
        f.fail(QStringLiteral("no index Id on Id"));
    // Jet 3, and the General order that Access 2000 to 2007 write (later ones still may):
    // their keys are computed here; a file in the newer General order is walked only.
    const bool computable = nameColumn->sortVersion == 0;
    const auto objectAt = [&](const QByteArray &entry) -> const Object * {
        const quint32 page = quint32(quint8(entry[entry.size() - 4])) << 16 | quint32(quint8(entry[entry.size() - 3])) << 8 |
                             quint8(entry[entry.size() - 2]);
        for (const Object &o : objects)
            if (o.page == page && o.slot == quint8(entry[entry.size() - 1]))
                return &o;
        return nullptr;
    };
    const auto nameKey = [&](const Object &o) {
        std::string key;
        const QString n = o.name;
        build::index::appendNameKey(key, n.toStdU16String(), *f.layout());
        return longKey(o.parent) + QByteArray::fromStdString(key);
    };
    for (const RealIndex *index : {byName, byId}) {
        if (!index)
            continue;
        const QList<QByteArray> entries = f.leafEntries(index->root, kCatalogTableDefPage);
        if (entries.size() != objects.size())
            f.fail(QStringLiteral("an index of the catalog holds %1 entries for %2 objects").arg(entries.size()).arg(objects.size()));
        QSet<const Object *> met;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QByteArray &e = entries[i];
            if (i > 0 && !(entries[i - 1] < e))
                f.fail(QStringLiteral("index entries out of order at %1").arg(i));
            const Object *o = e.size() > 4 ? objectAt(e) : nullptr;
            if (!o || met.contains(o)) {
                f.fail(QStringLiteral("index entry %1 leads to no object of its own").arg(i));
                continue;
            }
            met.insert(o);
            const QByteArray key = e.left(e.size() - 4);
            if (index == byId ? key != longKey(o->id)
                              : !key.startsWith(longKey(o->parent)) || (computable && key != nameKey(*o)))
                f.fail(QStringLiteral("the entry for '%1' does not hold its key").arg(o->name));
        }
    }

    // Each user table, found as a lookup finds it: its key descended to from the root, or,
    // where the keys cannot be computed here, met in the walk.
    QStringList found;
    for (const QString &table : userTables) {
        const Object *o = named(table, kTablesContainerId);
        if (!o) {
            f.fail(QStringLiteral("no object row for table %1").arg(table));
            continue;
        }
        if (o->type != TableObject || o->flags != 0)
            f.fail(QStringLiteral("table %1 is not a user table (type %2, flags %3)").arg(table).arg(o->type).arg(o->flags, 0, 16));
        std::optional<QByteArray> entry;
        if (computable) {
            entry = f.find(byName->root, nameKey(*o));
        } else {
            for (const QByteArray &e : f.leafEntries(byName->root, kCatalogTableDefPage))
                if (objectAt(e) == o)
                    entry = e;
        }
        if (!entry || objectAt(*entry) != o) {
            f.fail(QStringLiteral("table %1 is not found through the index on (ParentId, Name)").arg(table));
            continue;
        }
        const std::optional<Definition> t = f.definition(quint32(o->id) & kObjectIdPageMask);
        if (t && t->tableType != kUserTable)
            f.fail(QStringLiteral("table %1 is not defined as a user table").arg(table));
        found << table;
    }
    if (found != userTables)  // in their order, each found or not
        f.fail(QStringLiteral("found %1 of %2 user tables").arg(found.size()).arg(userTables.size()));
    return f.faults();
}

/// What Jet keeps of a file's system catalog, one line a field, to set beside another
/// file's: the system tables' columns (type and length), the object rows of the containers,
/// MSysDb and every table (with their Ids where these do not depend on the file's pages, and
/// without the application's own objects, which Access adds when it opens a file), and the
/// catalog's indexes.
QStringList catalogFields(const QString &path)
{
    StrictFile f(path);
    QStringList lines;
    const std::optional<Definition> catalog = f.layout() ? f.definition(kCatalogTableDefPage) : std::nullopt;
    if (!catalog)
        return f.faults();
    const auto columnsOf = [](const Definition &t) {
        QStringList c;
        // The flags a reader acts on: Access also sets 0x10 on every system column and 0x20 on
        // binary ones, and keeps their texts uncompressed; the builder does not, and no reader asks.
        constexpr quint8 kReadFlags = ColumnFlag::Fixed | ColumnFlag::Updatable | ColumnFlag::AutoLong;
        for (const Column &col : t.byNumber())
            c << QStringLiteral("%1 %2 %3 flags %4 decimal %5.%6")
                     .arg(col.name).arg(col.type, 2, 16, QLatin1Char('0')).arg(col.length)
                     .arg(col.flags & kReadFlags, 0, 16).arg(col.precision).arg(col.scale);
        return c.join(QStringLiteral(", "));
    };
    constexpr qint32 kApplicationFlag = 0x2;  // what Access itself adds (MSysAccessObjects, its navigation pane)
    for (const Object &o : objectsOf(f, *catalog)) {
        if ((o.type != TableObject && o.type != DatabaseObject && o.type != ContainerObject) || (o.flags & kApplicationFlag))
            continue;
        const bool system = quint32(o.flags) & kEngineObjectFlags;
        QString line = QStringLiteral("object %1 under %2: type %3, flags %4").arg(o.name).arg(o.parent, 0, 16).arg(o.type).arg(quint32(o.flags), 0, 16);
        if (o.type != TableObject || system)
            line += QStringLiteral(", Id %1").arg(o.id, 0, 16);
        lines << line;
        if (o.type == TableObject && system)
            if (const std::optional<Definition> t = f.definition(quint32(o.id) & kObjectIdPageMask))
                lines << QStringLiteral("table %1 (%2): %3").arg(o.name).arg(QChar(t->tableType)).arg(columnsOf(*t));
    }
    for (const LogicalIndex &g : catalog->logicals) {
        const RealIndex &r = catalog->reals[g.real];
        QStringList on;
        for (int number : r.columns)
            for (const Column &c : catalog->columns)
                if (c.number == number)
                    on << c.name;
        lines << QStringLiteral("index %1 on (%2): type %3, flags %4").arg(g.name, on.join(QStringLiteral(", "))).arg(g.type).arg(r.flags, 0, 16);
    }
    lines.sort();
    return lines + f.faults();
}

/// What two catalogs of the same tables share whoever wrote them. The ACE tables of complex
/// types take their Ids from where their definitions lie, and Access's file also holds the
/// table of its own resources; its complex Decimal is declared 9 bytes long and variable, ours
/// as every Decimal, 17 and fixed.
QStringList comparable(QStringList fields)
{
    static const QRegularExpression complexId(QStringLiteral("^(object MSysComplex\\S* .*), Id [0-9a-f]+$"));
    QStringList out;
    for (QString line : fields) {
        if (line.contains(QLatin1String(" f_")) && line.contains(QLatin1String("_Data ")))
            continue;
        line.replace(complexId, QStringLiteral("\\1"));
        line.replace(QLatin1String("table MSysComplexType_Decimal (N): Value 10 9 flags 2 "),
                     QLatin1String("table MSysComplexType_Decimal (N): Value 10 17 flags 3 "));
        // Access counts ComplexID as an AutoNumber; the builder, whose files have no complex
        // columns, declares it a plain Long.
        line.replace(QLatin1String("ComplexID 04 4 flags 7 "), QLatin1String("ComplexID 04 4 flags 3 "));
        out << line;
    }
    return out;
}

QStringList tablesOf(const QByteArray &script)
{
    QStringList names;
    for (const QByteArray &line : script.split('\n'))
        if (line.startsWith("TABLE "))
            names << QString::fromUtf8(line.mid(6));
    return names;
}

/// The formats catalog-build names in its usage line ("[--format jet4|jet3|...]").
QStringList buildFormats()
{
    const QString usage = QString::fromUtf8(runTool(tool("catalog-build"), {}).err);
    const qsizetype from = usage.indexOf(QLatin1String("--format ")), to = usage.indexOf(QLatin1Char(']'), from);
    return from < 0 || to < 0 ? QStringList() : usage.mid(from + 9, to - from - 9).split(QLatin1Char('|'));
}

}  // namespace

class TestSystemCatalog : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The check itself, over files Access made: Jet 4.0 and the ACE versions (those of
    // Access 2010 and 2016 in the newer General order, whose keys are only walked).
    void shouldFindAccessMadeFilesWhole_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("script");  // the tables it holds
        for (const char *name : {"basic", "empty-tables", "many-categories", "sample", "split-runs", "wide-types"})
            QTest::newRow(name) << testDataPath(QLatin1String(name) + ".mdb") << testDataPath(QLatin1String(name) + ".txt");
        for (const char *name : {"basic-ace12", "basic-ace14", "basic-ace16", "basic-ace17"})
            QTest::newRow(name) << testDataPath(QLatin1String(name) + ".accdb") << testDataPath(QStringLiteral("basic.txt"));
    }
    void shouldFindAccessMadeFilesWhole()
    {
        QFETCH(QString, file);
        QFETCH(QString, script);
        const QStringList tables = tablesOf(readAll(script));
        QVERIFY(tables.size() >= 6);
        const QStringList faults = checkSystemCatalog(file, tables);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // The check catches what a strict reader refuses: a file whose catalog lacks a part.
    void shouldRefuseACatalogThatLacksAPart_data()
    {
        QTest::addColumn<QByteArray>("from");  // bytes of basic.mdb replaced
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("fault");
        // The container Tables renamed (UCS-2 in the row).
        QTest::newRow("no Tables container") << QByteArray("T\0a\0b\0l\0e\0s\0", 12) << QByteArray("T\0a\0b\0l\0e\0x\0", 12)
                                             << "no container Tables with Id f000001 under the database object";
        // Category's row put under Databases (its Id, then its ParentId).
        QTest::newRow("a table under another container")
            << QByteArray::fromHex("180000000100000f") << QByteArray::fromHex("180000000200000f")
            << "object 'Category' (type 1) has the parent f000002";
        QTest::newRow("a system table missing")
            << QByteArray::fromHex("4d005300790073005100750065007200690065007300")
            << QByteArray::fromHex("4d005300790073005100750065007200690065007800") << "no system table MSysQueries under Tables";
        // A leaf entry's key (Category under Tables) changed.
        QTest::newRow("a key that is not its row's")
            << QByteArray::fromHex("7f8f0000017f4d4a6d5155646976") << QByteArray::fromHex("7f8f0000017f4d4a6d5155646977")
            << "the entry for 'Category' does not hold its key";
    }
    void shouldRefuseACatalogThatLacksAPart()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, fault);
        QByteArray bytes = readAll(testDataPath(QStringLiteral("basic.mdb")));
        QCOMPARE(bytes.count(from), 1);
        bytes.replace(from, to);
        const QString damaged = m_dir.filePath(QStringLiteral("damaged.mdb"));
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        QVERIFY2(checkSystemCatalog(damaged, tablesOf(readAll(testDataPath(QStringLiteral("basic.txt"))))).contains(fault),
                 qPrintable(checkSystemCatalog(damaged, {}).join(QLatin1Char('\n'))));
    }

    // Every file the builder writes, in every format it names, with the catalog Access's
    // files of that version carry; and built twice, the same file. Where Access made a file of
    // the same tables, field by field what Jet keeps of the catalog is what Access wrote: the
    // system tables' columns with their types and lengths, the object rows' Ids, parents,
    // types and flags, and the catalog's indexes.
    void shouldWriteTheSystemCatalogAccessWrites_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("access");  // a file Access made of the same script, or none
        const QHash<QString, QString> accessMade = {{"jet4", "basic.mdb"}, {"ace16", "basic-ace16.accdb"}};
        QByteArray many;
        for (int i = 1; i <= 300; ++i)  // the catalog's index over several pages, names with digits and z
            many += "TABLE Zone_" + QByteArray::number(i) + "\nCOLUMN ID LONG\nROW " + QByteArray::number(i) + '\n';
        const QStringList formats = buildFormats();
        QVERIFY2(formats.contains(QLatin1String("jet4")) && formats.contains(QLatin1String("jet3")),
                 qPrintable(formats.join(QLatin1Char(' '))));
        for (const QString &format : formats) {
            for (const char *name : {"basic", "empty-tables", "many-categories", "sample"})
                QTest::newRow(qPrintable(format + QLatin1Char(' ') + QLatin1String(name)))
                    << format << readAll(testDataPath(QLatin1String(name) + ".txt"))
                    << (name == QByteArray("basic") ? accessMade.value(format) : QString());
            QByteArray script = many;
            if (format == QLatin1String("jet3"))
                script.replace('_', "");  // Jet 3's order of the underscore is not known here
            QTest::newRow(qPrintable(format + QStringLiteral(" 300 tables"))) << format << script << QString();
        }
        // Calculated columns, whose expressions ride in their table's catalog row.
        QTest::newRow("ace16 newest-types") << QStringLiteral("ace16") << readAll(testDataPath("newest-types.txt")) << QString();
    }
    void shouldWriteTheSystemCatalogAccessWrites()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, script);
        QFETCH(QString, access);
        const QString source = m_dir.filePath(QStringLiteral("source.txt")), built = m_dir.filePath(QStringLiteral("built.mdb")),
                      again = m_dir.filePath(QStringLiteral("again.mdb"));
        for (const QString &out : {built, again})
            QCOMPARE(buildScript(script, source, out, {"--format", format}), QByteArray());
        QCOMPARE(checkSystemCatalog(built, tablesOf(script)), QStringList());
        QVERIFY(readAll(built) == readAll(again));
        if (!access.isEmpty()) {
            const QStringList expected = catalogFields(testDataPath(access));
            QVERIFY(expected.size() > 20);
            QCOMPARE(comparable(catalogFields(built)), comparable(expected));
        }
        if (format != QLatin1String("jet3"))
            return;
        // A reader that did not write them walks the catalog's indexes of a Jet 3 file (libmdb's
        // walk knows Jet 3 pages): one entry per object, in the order of (ParentId, Name), names
        // as the General order has them (letter case aside, digits before letters, a name before
        // its longer ones), and of Id.
        QUORBIX_LINUX_ONLY("mdbtools' index walk is a Linux program");
        const auto walk = [&](const QString &index) {
            QByteArrayList lines = runTool(tool("index-probe"), {built, QStringLiteral("MSysObjects"), index}).out.split('\n');
            lines.removeAll(QByteArray());
            return lines;
        };
        const QByteArrayList byName = walk(QStringLiteral("ParentIdName")), byId = walk(QStringLiteral("Id"));
        const int objects = 9 + 4 + int(tablesOf(script).size());  // containers, MSysDb, system and user tables
        QCOMPARE(byName.size(), objects);
        QCOMPARE(byId.size(), objects);
        QByteArrayList inOrder = byName;
        std::stable_sort(inOrder.begin(), inOrder.end(), [](const QByteArray &a, const QByteArray &c) {
            const QByteArrayList x = a.split('\t'), y = c.split('\t');
            if (x.value(0).toInt() != y.value(0).toInt())
                return x.value(0).toInt() < y.value(0).toInt();
            return x.value(1).toUpper() < y.value(1).toUpper();
        });
        QCOMPARE(byName, inOrder);
        QCOMPARE(QSet<QByteArray>(byName.begin(), byName.end()).size(), objects);
        for (const QString &table : tablesOf(script))
            QVERIFY2(byName.contains(QByteArray::number(kTablesContainerId) + '\t' + table.toUtf8()), qPrintable(table));
        for (qsizetype i = 1; i < byId.size(); ++i)
            QVERIFY(byId[i - 1].toLongLong() < byId[i].toLongLong());
    }
};

QTEST_GUILESS_MAIN(TestSystemCatalog)
#include "test_system_catalog.moc"
