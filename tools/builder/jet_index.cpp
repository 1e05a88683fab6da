#include "tools/builder/jet_index.h"

#include "jet/little_endian.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace build::index {
namespace {

using namespace jet::layout;
using Bytes = std::vector<std::uint8_t>;

using jet::le::put16;
using jet::le::put32;

// Page pointers inside entries are big-endian, so that entries sort as plain bytes.
void appendBigEndian(Bytes &b, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

/// One page of entries being filled.
class Page {
public:
    Page(const Layout &l, const IndexLayout &il, std::uint8_t kind, std::uint32_t tdefPage)
        : m_l(l), m_il(il), m_bytes(l.pageSize, 0)
    {
        m_bytes[0] = kind;
        m_bytes[1] = 1;
        put32(&m_bytes[il.pageOwner], tdefPage);
    }
    std::size_t room() const { return m_l.pageSize - m_il.pageEntries - m_used; }
    void add(const Bytes &entry)
    {
        std::memcpy(&m_bytes[m_il.pageEntries + m_used], entry.data(), entry.size());
        m_used += entry.size();
        m_bytes[m_il.pageEntryMask + m_used / 8] |= std::uint8_t(1u << (m_used % 8));
    }
    const std::uint8_t *finish(std::uint32_t previous, std::uint32_t next)
    {
        put16(&m_bytes[2], unsigned(room()));
        put32(&m_bytes[m_il.pagePrevious], previous);
        put32(&m_bytes[m_il.pageNext], next);
        put32(&m_bytes[m_il.pageTail], 0);
        put16(&m_bytes[m_il.pagePrefixLength], 0);  // entries are written whole
        return m_bytes.data();
    }

private:
    const Layout &m_l;
    const IndexLayout &m_il;
    Bytes m_bytes;
    std::size_t m_used = 0;
};

}  // namespace

bool keyable(jet::StoredType type)
{
    return type == jet::StoredType::Byte || type == jet::StoredType::Int || type == jet::StoredType::Long;
}

void appendKeyColumn(std::string &out, jet::StoredType type, const std::uint8_t *stored, unsigned size)
{
    out.push_back(char(kKeyPresentAscending));
    // Most significant byte first; signed types with the sign bit turned over, so that
    // negative numbers sort before zero and positive ones. Byte is unsigned.
    for (unsigned i = size; i-- > 0;) {
        std::uint8_t b = stored[i];
        if (i == size - 1 && type != jet::StoredType::Byte)
            b ^= 0x80;
        out.push_back(char(b));
    }
}

void KeyEntries::add(const std::string &key, Entry e)
{
    m_keys.insert(m_keys.end(), key.begin(), key.end());
    m_entries.push_back(e);
}

std::uint32_t KeyEntries::sortAndFindRepeat()
{
    m_order.resize(m_entries.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    const auto keyOf = [&](std::uint32_t i) { return &m_keys[std::size_t(i) * m_width]; };
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        const int c = std::memcmp(keyOf(a), keyOf(b), m_width);
        return c != 0 ? c < 0 : m_entries[a].sourceRow < m_entries[b].sourceRow;
    };
    if (!std::is_sorted(m_order.begin(), m_order.end(), less))
        std::sort(m_order.begin(), m_order.end(), less);
    std::uint32_t repeat = 0;
    for (std::size_t i = 1; i < m_order.size(); ++i) {
        if (std::memcmp(keyOf(m_order[i - 1]), keyOf(m_order[i]), m_width) != 0)
            continue;
        // Within a run of equal keys the rows are in source order: the second is the repeat.
        const bool second = i < 2 || std::memcmp(keyOf(m_order[i - 2]), keyOf(m_order[i]), m_width) != 0;
        const std::uint32_t row = m_entries[m_order[i]].sourceRow;
        if (second && (repeat == 0 || row < repeat))
            repeat = row;
    }
    return repeat;
}

void KeyEntries::clear()
{
    m_keys = {};
    m_entries = {};
    m_order = {};
}

Tree writeTree(const KeyEntries &entries, const std::vector<std::uint32_t> &dataPages, std::uint32_t tdefPage,
               const Layout &l, const IndexLayout &il, const std::function<std::uint32_t(std::uint32_t)> &allocate,
               const std::function<void(std::uint32_t, const std::uint8_t *)> &write)
{
    Tree tree;
    const std::size_t pageRoom = l.pageSize - il.pageEntries;

    // A page above names each page below by that page's last entry (the key and row
    // pointer) followed by the page number. Every entry of a level has the same width.
    const std::size_t leafWidth = entries.keyWidth() + 4;
    Bytes upper;  // the level above the one being written, entries back to back
    std::size_t count = entries.size(), width = leafWidth;
    Bytes entry;
    const auto entryAt = [&](std::size_t i) -> const Bytes & {
        if (width == leafWidth) {
            entry.assign(entries.key(i), entries.key(i) + entries.keyWidth());
            const Entry &row = entries.entry(i);
            appendBigEndian(entry, dataPages.at(row.pageOrdinal), 3);
            entry.push_back(row.slot);
        } else {
            entry.assign(upper.begin() + std::ptrdiff_t(i * width), upper.begin() + std::ptrdiff_t((i + 1) * width));
        }
        return entry;
    };
    std::uint8_t kind = kLeafPage;
    while (true) {
        const std::size_t perPage = pageRoom / width;
        const std::size_t pages = std::max<std::size_t>(1, (count + perPage - 1) / perPage);
        const std::uint32_t first = allocate(std::uint32_t(pages));
        Bytes above;
        for (std::size_t p = 0; p < pages; ++p) {
            Page page(l, il, kind, tdefPage);
            const std::size_t from = p * perPage, to = std::min(count, from + perPage);
            for (std::size_t i = from; i < to; ++i)
                page.add(entryAt(i));
            const std::uint32_t number = first + std::uint32_t(p);
            write(number, page.finish(p == 0 ? 0 : number - 1, p + 1 == pages ? 0 : number + 1));
            tree.pages.push_back(number);
            if (to > from) {
                const Bytes &last = entryAt(to - 1);
                above.insert(above.end(), last.begin(), last.begin() + std::ptrdiff_t(leafWidth));
                appendBigEndian(above, number, 4);
            }
        }
        if (pages == 1) {
            tree.root = first;
            return tree;
        }
        upper = std::move(above);
        count = pages;
        width = leafWidth + 4;
        kind = kIntermediatePage;
    }
}

}  // namespace build::index
