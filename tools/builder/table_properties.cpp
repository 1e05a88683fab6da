#include "tools/builder/table_properties.h"

#include "jet/little_endian.h"
#include "jet/stored_type.h"

#include <QString>

namespace build::properties {
namespace {

// A property block: its length (these 6 bytes counted), its kind, what it holds.
constexpr std::uint16_t kNamesBlock = 0x80;
constexpr std::uint16_t kColumnBlock = 0x01;
constexpr std::uint8_t kMemoCode = 0x0c, kByteCode = 0x02;
constexpr unsigned kExpression = 0, kResultType = 1;  // places in the names' block

void put16(std::string &b, unsigned v)
{
    b.push_back(char(v & 0xff));
    b.push_back(char(v >> 8 & 0xff));
}

void put32(std::string &b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// UTF-16 little-endian, as the catalog keeps names and text properties.
std::string units(const std::string &utf8)
{
    std::string out;
    for (char16_t u : QString::fromStdString(utf8).toStdU16String())
        put16(out, u);
    return out;
}

void putName(std::string &b, const std::string &utf8)
{
    const std::string u = units(utf8);
    put16(b, unsigned(u.size()));
    b += u;
}

void putBlock(std::string &out, std::uint16_t kind, const std::string &body)
{
    put32(out, std::uint32_t(6 + body.size()));
    put16(out, kind);
    out += body;
}

void putValue(std::string &b, std::uint8_t code, unsigned nameIndex, const std::string &data)
{
    put16(b, unsigned(8 + data.size()));
    b.push_back(1);  // a property of the column's design
    b.push_back(char(code));
    put16(b, nameIndex);
    put16(b, unsigned(data.size()));
    b += data;
}

}  // namespace

std::string tableProperties(const TableDef &t)
{
    std::string columns;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const jet::Column &c = t.columns[i];
        if (!c.calculated || i >= t.expressions.size() || t.expressions[i].empty())
            continue;
        std::string body, name;
        putName(name, c.name);
        put32(body, std::uint32_t(4 + name.size()));
        body += name;
        putValue(body, kMemoCode, kExpression, units(t.expressions[i]));
        putValue(body, kByteCode, kResultType, std::string(1, char(jet::info(c.type).code)));
        putBlock(columns, kColumnBlock, body);
    }
    if (columns.empty())
        return {};
    std::string names;
    putName(names, "Expression");
    putName(names, "ResultType");
    std::string out("MR2\0", 4);
    putBlock(out, kNamesBlock, names);
    return out + columns;
}

}  // namespace build::properties
