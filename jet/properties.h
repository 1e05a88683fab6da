#pragma once

#include "jet/little_endian.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A table's property block, as the catalog keeps it (MSysObjects.LvProp): "MR2\0" (Jet 4 and
/// ACE) or "KKD\0" (Jet 3), then blocks of u32 length (the 6-byte head counted), u16 kind and
/// body. Kind 0x80 names the properties (u16 byte length and the name, one after another);
/// kinds 0x00 (the table's) and 0x01 (a column's) start with u32 length and the block's own
/// name (u16 byte length and name), then one property an entry: u16 entry length, u8 set by
/// design, u8 type code, u16 place of its name, u16 value length, the value.
namespace jet::properties {

/// One property of a column block: the column's and the property's names as stored (the
/// file's text form: UTF-16LE, or the code page in Jet 3), its type code and value bytes.
struct Property {
    std::string_view column;  ///< the column the block belongs to
    std::string_view name;
    std::uint8_t type = 0;
    std::string_view value;
};

/// Every property of every column block in `blob`; stops at the first entry that does not
/// fit in what holds it (a damaged block costs only its properties, never the table).
inline std::vector<Property> columnProperties(std::string_view blob)
{
    std::vector<Property> out;
    if (blob.size() < 4 || (blob.substr(0, 4) != std::string_view("MR2\0", 4) && blob.substr(0, 4) != std::string_view("KKD\0", 4)))
        return out;
    const auto *b = reinterpret_cast<const unsigned char *>(blob.data());
    const auto text = [&](std::size_t at, std::size_t bytes) { return blob.substr(at, bytes); };
    std::vector<std::string_view> names;
    for (std::size_t at = 4; at + 6 <= blob.size();) {
        const std::uint32_t length = le::get32(b + at);
        const std::uint16_t kind = le::get16(b + at + 4);
        if (length < 6 || length > blob.size() - at)
            break;
        const std::size_t end = at + length;
        std::size_t p = at + 6;
        if (kind == 0x80) {
            while (p + 2 <= end) {
                const std::uint16_t n = le::get16(b + p);
                if (n > end - p - 2)
                    break;
                names.push_back(text(p + 2, n));
                p += 2 + n;
            }
        } else if (kind == 0x01 && p + 6 <= end) {
            const std::uint32_t head = le::get32(b + p);
            const std::uint16_t n = le::get16(b + p + 4);
            if (head >= 6 && head <= end - p && n + 6u <= head) {
                const std::string_view column = text(p + 6, n);
                for (p += head; p + 8 <= end;) {
                    const std::uint16_t entry = le::get16(b + p), size = le::get16(b + p + 6);
                    const std::uint16_t place = le::get16(b + p + 4);
                    if (entry < 8 || entry > end - p || size > entry - 8u)
                        break;
                    if (place < names.size())
                        out.push_back({column, names[place], b[p + 3], blob.substr(p + 8, size)});
                    p += entry;
                }
            }
        }
        at = end;
    }
    return out;
}

}  // namespace jet::properties
