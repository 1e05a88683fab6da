#pragma once

#include "catalog/reader_client/table_source.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

/// Catalogs for the software listings, made from a stream of bytes (a seeded generator's or a
/// fuzzer's): titles whose type and site keys repeat, are Null or match no row, names equal
/// or equal but for letter case, and prices that are Null, NaN, infinite or huge; the types
/// and sites repeat keys too. Qt Core only, so a fuzz target builds them as a test does.
namespace generated {

struct Value {
    enum Kind { Null, Integer, Real, Text } kind = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

struct Table {
    QString name;
    QVector<jet::Column> columns;
    std::vector<std::vector<Value>> rows;
};

/// The bytes a catalog is made of; past their end every byte is 0.
class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    unsigned next() { return m_at < m_size ? m_data[m_at++] : 0u; }
    unsigned pick(unsigned count) { return next() % count; }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

inline Value integer(std::int64_t v) { return {Value::Integer, v, 0, {}}; }
inline Value real(double v) { return {Value::Real, 0, v, {}}; }
inline Value text(const char *v) { return v ? Value{Value::Text, 0, 0, v} : Value{}; }

inline Value key(Bytes &bytes, int largest)
{
    const unsigned k = bytes.pick(unsigned(largest) + 2);
    return k == 0 ? Value{} : integer(std::int64_t(k) - 1);  // Null, then 0 to largest
}

inline Value someText(Bytes &bytes, std::initializer_list<const char *> choices)
{
    return text(choices.begin()[bytes.pick(unsigned(choices.size()))]);
}

/// The columns of Software (its Price of type `price`), SoftwareType and Site as the listings read them.
inline QVector<jet::Column> softwareColumns(jet::StoredType price)
{
    using T = jet::StoredType;
    return {{"SoftwareID", T::Long, 0},     {"Name", T::Text, 100},         {"Description", T::Memo, 0},
            {"Price", price, 0},            {"Requirements", T::Text, 255}, {"Uninstaller", T::Boolean, 0},
            {"Limitations", T::Text, 255},  {"ScreenURL", T::Text, 255},    {"DownloadURL1", T::Text, 255},
            {"DownloadURL2", T::Text, 255}, {"DownloadURL3", T::Text, 255}, {"BuyURL", T::Text, 255},
            {"Rating", T::Int, 0},          {"SoftwareTypeID", T::Long, 0}, {"SiteID", T::Long, 0},
            {"CategoryID", T::Long, 0},     {"SubCategoryID", T::Long, 0}};
}
inline QVector<jet::Column> typeColumns() { return {{"SoftwareTypeID", jet::StoredType::Long, 0}, {"Description", jet::StoredType::Text, 50}}; }
inline QVector<jet::Column> siteColumns()
{
    using T = jet::StoredType;
    return {{"SiteID", T::Long, 0}, {"Name", T::Text, 100}, {"URL", T::Text, 255}, {"Description", T::Memo, 0}};
}

/// Software, SoftwareType and Site as the listings read them. With `titles`, that many
/// titles whose names are ASCII only (equal but for case, or of other lengths).
inline std::vector<Table> listingCatalog(Bytes &bytes, unsigned titles = 0)
{
    using T = jet::StoredType;
    const bool moneyPrice = bytes.pick(2) == 0;
    Table software{QStringLiteral("Software"), softwareColumns(moneyPrice ? T::Money : T::Double), {}};
    const bool asciiNames = titles > 0;
    if (!asciiNames)
        titles = bytes.pick(40);
    for (unsigned i = 0; i < titles; ++i) {
        Value price;
        switch (bytes.pick(8)) {
        case 0: break;
        case 1: price = real(moneyPrice ? 0 : std::numeric_limits<double>::quiet_NaN()); break;
        case 2: price = real(moneyPrice ? -12.5 : std::numeric_limits<double>::infinity()); break;
        case 3: price = real(moneyPrice ? 922337203685477.0 : 1e300); break;
        case 4: price = real(-0.0); break;
        default: price = real(double(bytes.pick(4000)) / 100); break;
        }
        software.rows.push_back({integer(i + 1),
                                 asciiNames ? someText(bytes, {"Twin", "twin", "TWIN", "Zip Tool", "zip tool", "", nullptr, "Twins", "Twin ",
                                                             // past the sort's 24 bytes of key
                                                             "Zip Tool Deluxe Edition 1", "ZIP TOOL DELUXE EDITION 1",
                                                             "Zip Tool Deluxe Edition 2"})
                                            : someText(bytes, {"Twin", "twin", "Zip Tool", "", nullptr, "\xc3\x89" "clair", "zip", "Twin "}),
                                 someText(bytes, {nullptr, "about zip", "Tool", ""}),
                                 price,
                                 someText(bytes, {"Req", nullptr}),
                                 integer(bytes.pick(2)),
                                 someText(bytes, {nullptr, "None"}),
                                 text("s"), text("d"), Value{}, text(""), text("b"),
                                 bytes.pick(3) ? integer(bytes.pick(6)) : Value{},
                                 key(bytes, 4), key(bytes, 4), key(bytes, 3), key(bytes, 3)});
    }
    Table types{QStringLiteral("SoftwareType"), typeColumns(), {}};
    const unsigned typeRows = asciiNames ? 4 + bytes.pick(4) : bytes.pick(7);  // many titles: some must join
    for (unsigned i = 0; i < typeRows; ++i)
        types.rows.push_back({key(bytes, 3), someText(bytes, {"Freeware", "Shareware", "shareware", "", nullptr})});
    Table sites{QStringLiteral("Site"), siteColumns(), {}};
    const unsigned siteRows = asciiNames ? 4 + bytes.pick(4) : bytes.pick(7);
    for (unsigned i = 0; i < siteRows; ++i)
        sites.rows.push_back({key(bytes, 3), someText(bytes, {"One", "one", nullptr, ""}),
                              someText(bytes, {"http://one/", nullptr}), someText(bytes, {"First", "", nullptr, "Repeated"})});
    return {software, types, sites};
}

/// The tables above as a source, each cell as the reader would give it.
class Source final : public reader_client::TableSource {
public:
    explicit Source(std::vector<Table> tables) : m_tables(std::move(tables)) {}
    QStringList tableNames() const override
    {
        QStringList names;
        for (const Table &table : m_tables)
            names << table.name;
        return names;
    }
    ado::Error readTable(const QString &name, reader_client::RowSink &sink) override
    {
        for (const Table &table : m_tables) {
            if (table.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            sink.columns(table.columns);
            std::vector<reader_client::Cell> cells(size_t(table.columns.size()));
            for (const std::vector<Value> &row : table.rows) {
                for (size_t i = 0; i < cells.size(); ++i) {
                    const Value &v = row[i];
                    reader_client::Cell &cell = cells[i];
                    cell = reader_client::Cell{};
                    cell.isNull = v.kind == Value::Null;
                    cell.text = v.text;
                    cell.real = v.kind == Value::Integer ? double(v.integer) : v.real;
                    cell.integer = v.integer;
                    if (table.columns[int(i)].type == jet::StoredType::Money && v.kind == Value::Real)
                        cell.integer = std::int64_t(std::llround(v.real * 10000));  // ten-thousandths
                }
                sink.row(cells);
            }
            return {};
        }
        return {ado::E_PROVIDER_FAIL, QStringLiteral("no table ") + name};
    }

private:
    std::vector<Table> m_tables;
};

}  // namespace generated
