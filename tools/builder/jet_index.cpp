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

// The General sort order's weight of each letter and digit, letter case aside, and how a
// name's key ends. Jet 4 and ACE: the order Access 2000 to 2007 call General (ACE's "General
// legacy"), as Access's own catalogs hold it for the names of their objects; those hold every
// letter but z and every digit but 7 and 9, which take the next step after their neighbours
// as the others do. Jet 3: its code-page General order and the key's closing zero from the
// public format notes, which no Access file in the project's fixtures checks.
constexpr std::uint8_t kJet4Letters[26] = {0x4a, 0x4c, 0x4d, 0x4f, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5b, 0x5c, 0x5e, 0x60,
                                           0x62, 0x64, 0x66, 0x68, 0x69, 0x6b, 0x6d, 0x6f, 0x71, 0x73, 0x75, 0x76, 0x78};
constexpr std::uint8_t kJet4Digits[10] = {0x36, 0x38, 0x3a, 0x3c, 0x3e, 0x40, 0x42, 0x44, 0x46, 0x48};
constexpr std::uint8_t kJet4Underscore[2] = {0x2b, 0x03};
constexpr std::uint8_t kJet4TextEnd[2] = {0x01, 0x00};
constexpr std::uint8_t kJet3Letters[26] = {0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x6b, 0x6c, 0x6d, 0x6f,
                                           0x70, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x7a, 0x7b, 0x7c, 0x7d, 0x7e};
constexpr std::uint8_t kJet3Digits[10] = {0x56, 0x57, 0x58, 0x59, 0x5a, 0x5b, 0x5c, 0x5d, 0x5e, 0x5f};
constexpr std::uint8_t kJet3TextEnd = 0x00;

}  // namespace

char16_t appendNameKey(std::string &out, std::u16string_view name, const Layout &l)
{
    // Jet 3 keeps text in its code page and sorts by that page's General order.
    const bool codePage = l.textUnitBytes == 1;
    out.push_back(char(kKeyPresentAscending));
    for (char16_t c : name) {
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        if (c >= u'A' && c <= u'Z') {
            out.push_back(char(codePage ? kJet3Letters[c - u'A'] : kJet4Letters[c - u'A']));
        } else if (c >= u'0' && c <= u'9') {
            out.push_back(char(codePage ? kJet3Digits[c - u'0'] : kJet4Digits[c - u'0']));
        } else if (c == u'_' && !codePage) {
            out.append(reinterpret_cast<const char *>(kJet4Underscore), sizeof kJet4Underscore);
        } else {
            return c;
        }
    }
    if (codePage)
        out.push_back(char(kJet3TextEnd));
    else
        out.append(reinterpret_cast<const char *>(kJet4TextEnd), sizeof kJet4TextEnd);
    return 0;
}

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
    if (!m_width)
        m_starts.push_back(m_keys.size());
    m_keys.insert(m_keys.end(), key.begin(), key.end());
    m_entries.push_back(e);
}

std::uint32_t KeyEntries::sortAndFindRepeat()
{
    m_order.resize(m_entries.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    const auto compare = [&](std::uint32_t a, std::uint32_t b) {
        const std::size_t na = sizeOf(a), nb = sizeOf(b);
        const int c = std::memcmp(&m_keys[start(a)], &m_keys[start(b)], std::min(na, nb));
        return c != 0 ? c : na < nb ? -1 : na > nb ? 1 : 0;
    };
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        const int c = compare(a, b);
        return c != 0 ? c < 0 : m_entries[a].sourceRow < m_entries[b].sourceRow;
    };
    if (!std::is_sorted(m_order.begin(), m_order.end(), less))
        std::sort(m_order.begin(), m_order.end(), less);
    std::uint32_t repeat = 0;
    for (std::size_t i = 1; i < m_order.size(); ++i) {
        if (compare(m_order[i - 1], m_order[i]) != 0)
            continue;
        // Within a run of equal keys the rows are in source order: the second is the repeat.
        const bool second = i < 2 || compare(m_order[i - 2], m_order[i]) != 0;
        const std::uint32_t row = m_entries[m_order[i]].sourceRow;
        if (second && (repeat == 0 || row < repeat))
            repeat = row;
    }
    return repeat;
}

void KeyEntries::clear()
{
    m_keys = {};
    m_starts = {};
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
    // pointer) followed by the page number.
    constexpr std::size_t kRowPointer = 4, kChildPointer = 4;
    std::vector<Bytes> upper;  // the level above the one being written
    bool leaves = true;
    std::size_t count = entries.size();
    Bytes entry;
    const auto entryAt = [&](std::size_t i) -> const Bytes & {
        if (!leaves)
            return upper[i];
        entry.assign(entries.key(i), entries.key(i) + entries.keySize(i));
        const Entry &row = entries.entry(i);
        appendBigEndian(entry, dataPages.at(row.pageOrdinal), 3);
        entry.push_back(row.slot);
        return entry;
    };
    const auto sizeAt = [&](std::size_t i) {
        return leaves ? entries.keySize(i) + kRowPointer : upper[i].size();
    };
    std::uint8_t kind = kLeafPage;
    while (true) {
        // Where each page's entries start: as many as fit, in order.
        std::vector<std::size_t> firsts{0};
        for (std::size_t i = 0, used = 0; i < count; ++i) {
            const std::size_t size = sizeAt(i);
            if (used + size > pageRoom && used > 0) {
                firsts.push_back(i);
                used = 0;
            }
            used += size;
        }
        const std::size_t pages = firsts.size();
        const std::uint32_t first = allocate(std::uint32_t(pages));
        std::vector<Bytes> above;
        for (std::size_t p = 0; p < pages; ++p) {
            Page page(l, il, kind, tdefPage);
            const std::size_t from = firsts[p], to = p + 1 < pages ? firsts[p + 1] : count;
            for (std::size_t i = from; i < to; ++i)
                page.add(entryAt(i));
            const std::uint32_t number = first + std::uint32_t(p);
            write(number, page.finish(p == 0 ? 0 : number - 1, p + 1 == pages ? 0 : number + 1));
            tree.pages.push_back(number);
            if (to > from) {
                const Bytes &last = entryAt(to - 1);
                Bytes named(last.begin(), last.end() - std::ptrdiff_t(leaves ? 0 : kChildPointer));
                appendBigEndian(named, number, 4);
                above.push_back(std::move(named));
            }
        }
        if (pages == 1) {
            tree.root = first;
            return tree;
        }
        upper = std::move(above);
        count = pages;
        leaves = false;
        kind = kIntermediatePage;
    }
}

}  // namespace build::index
