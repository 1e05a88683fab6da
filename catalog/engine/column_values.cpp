#include "catalog/engine/column_values.h"

#include "catalog/jettext/jet_text.h"
#include "catalog/engine/two_threads.h"
#include "jet/little_endian.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace engine {

namespace {
#ifdef __linux__
// From this size on a buffer is mapped on its own and grows by remapping its pages: below
// glibc's mmap threshold (which rises as large blocks are freed, to 32 MiB) realloc copies
// the whole buffer at every doubling.
constexpr std::size_t kMappedFrom = std::size_t(1) << 20;

std::size_t wholePages(std::size_t n)
{
    static const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (n + page - 1) / page * page;
}
#endif
}  // namespace

TextBuffer::TextBuffer(TextBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)), m_mapped(std::exchange(other.m_mapped, false))
{
}

TextBuffer &TextBuffer::operator=(TextBuffer &&other) noexcept
{
    if (this != &other) {
        freeData();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

TextBuffer::~TextBuffer()
{
    freeData();
}

void TextBuffer::freeData()
{
#ifdef __linux__
    if (m_mapped) {
        munmap(m_data, m_capacity);
        return;
    }
#endif
    std::free(m_data);
}

void TextBuffer::reserve(std::size_t n)
{
    if (n <= m_capacity)
        return;
#ifdef __linux__
    if (n >= kMappedFrom) {
        const std::size_t bytes = wholePages(n);
        void *grown = MAP_FAILED;
        if (m_mapped) {
            grown = mremap(m_data, m_capacity, bytes, MREMAP_MAYMOVE);
        } else {
            grown = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (grown != MAP_FAILED) {
                if (m_size)
                    std::memcpy(grown, m_data, m_size);
                std::free(m_data);
            }
        }
        if (grown == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<char *>(grown);
        m_capacity = bytes;
        m_mapped = true;
        return;
    }
#endif
    char *grown = static_cast<char *>(std::realloc(m_data, n));
    if (!grown)
        throw std::bad_alloc();
    m_data = grown;
    m_capacity = n;
}

void TextBuffer::release(std::size_t begin, std::size_t end)
{
#ifdef __linux__
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(m_data) + begin + page - 1) / page * page;
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(m_data) + end) / page * page;
    if (to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED);
#else
    (void)begin;
    (void)end;
#endif
}

void TextBuffer::grow(std::size_t n)
{
    reserve(std::max({m_capacity * 2, m_size + n, std::size_t(4096)}));
}

void ColumnValues::pushNullFlagSlow(std::uint8_t flag)
{
    if (flag && !m_hasNulls) {
        m_nulls.resize(m_size, 0);
        m_hasNulls = true;
    }
    if (m_hasNulls)
        m_nulls.push_back(flag);
    ++m_size;
}

void ColumnValues::appendNull()
{
    switch (m_storage) {
    case Storage::Integer:
        if (m_narrow)
            m_narrowIntegers.push_back(0);
        else
            m_integers.push_back(0);
        break;
    case Storage::Real: m_reals.push_back(0.0); break;
    case Storage::Text: m_offsets.push_back(std::uint32_t(m_text.size())); break;
    }
    pushNullFlag(1);
}

void ColumnValues::appendWideInteger(std::int64_t value)
{
    if (m_narrow) {
        // The first that needs more than 32 bits: every one is kept in 64 from now on.
        m_integers.assign(m_narrowIntegers.begin(), m_narrowIntegers.end());
        m_narrowIntegers = {};
        m_narrow = false;
    }
    m_integers.push_back(value);
    pushNullFlag(0);
}

void ColumnValues::appendTexts(const char *lengths, const char *bytes, std::size_t n)
{
    const auto *length = reinterpret_cast<const unsigned char *>(lengths);
    std::size_t total = 0;
    for (std::size_t i = 0; i < n; ++i)
        total += jet::le::get32(length + 4 * i);
    if (m_text.size() > m_textLimit || total > m_textLimit - m_text.size())
        refuseText();
    std::uint32_t at = std::uint32_t(m_text.size());
    m_text.append(std::string_view(bytes, total));
    for (std::size_t i = 0; i < n; ++i) {
        at += jet::le::get32(length + 4 * i);
        m_offsets.push_back(at);
    }
    if (m_hasNulls)
        m_nulls.insert(m_nulls.end(), n, 0);
    m_size += n;
}

void ColumnValues::refuseText()
{
    throw std::length_error("a column's texts pass what one column holds");
}

void ColumnValues::reserve(std::size_t rows, std::size_t bytes)
{
    switch (m_storage) {
    case Storage::Integer:
        if (m_narrow)
            m_narrowIntegers.reserve(m_narrowIntegers.size() + rows);
        else
            m_integers.reserve(m_integers.size() + rows);
        break;
    case Storage::Real: m_reals.reserve(m_reals.size() + rows); break;
    case Storage::Text:
        m_offsets.reserve(m_offsets.size() + rows);
        m_text.reserve(m_text.size() + bytes);
        break;
    }
}

void ColumnValues::populateAhead(std::size_t rows) const
{
    const auto ahead = [rows](const auto &values) {
        const std::size_t room = std::min(rows, values.capacity() - values.size());
        populatePages(values.data() + values.size(), room * sizeof(*values.data()));
    };
    if (m_hasNulls)
        ahead(m_nulls);
    switch (m_storage) {
    case Storage::Integer: m_narrow ? ahead(m_narrowIntegers) : ahead(m_integers); break;
    case Storage::Real: ahead(m_reals); break;
    case Storage::Text:
        ahead(m_offsets);
        if (m_size)
            m_text.populateAhead((m_text.size() / m_size + 1) * rows);
        break;
    }
}

std::vector<std::uint32_t> ColumnValues::placesOf(const std::vector<std::uint32_t> &order)
{
    std::vector<std::uint32_t> place;
    reservePopulated(place, order.size());
    place.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        place[order[i]] = std::uint32_t(i);
    return place;
}

void ColumnValues::reorder(const std::vector<std::uint32_t> &order)
{
    reorder(order, m_storage == Storage::Text ? placesOf(order) : std::vector<std::uint32_t>());
}

void ColumnValues::reorder(const std::vector<std::uint32_t> &order, const std::vector<std::uint32_t> &place)
{
    const std::size_t n = order.size();
    const auto gather = [&order, n](auto &values) {
        // Its pages put in place at once, then filled by two threads: the reads are all
        // over the column and wait on memory, not on the processor.
        std::remove_reference_t<decltype(values)> into;
        reservePopulated(into, n);
        into.resize(n);
        inTwoHalves(n, [&](int, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                into[i] = values[order[i]];
        });
        values.swap(into);
    };
    if (m_hasNulls)
        gather(m_nulls);
    switch (m_storage) {
    case Storage::Integer:
        if (m_narrow)
            gather(m_narrowIntegers);
        else
            gather(m_integers);
        return;
    case Storage::Real: gather(m_reals); return;
    case Storage::Text: break;
    }
    // Texts all empty (a column no title fills): every offset is 0 in any order.
    if (m_text.size() == 0)
        return;
    // Where each row's text begins in its new place (each keeps its length).
    std::vector<std::uint32_t> offsets;
    reservePopulated(offsets, n + 1);
    offsets.resize(n + 1);
    // Each row's length first, read in load order and written at its new place: a write
    // that misses the cache does not hold the processor up as a read does.
    inTwoHalves(n, [&](int, std::size_t begin, std::size_t end) {
        for (std::size_t row = begin; row < end; ++row)
            offsets[place[row]] = m_offsets[row + 1] - m_offsets[row];
    });
    std::uint32_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t length = offsets[i];
        offsets[i] = at;
        at += length;
    }
    offsets[n] = at;
    TextBuffer text;
    char *into = text.extend(at);
    const char *from = std::string_view(m_text).data();
    constexpr std::size_t kReleaseEvery = std::size_t(4) << 20;
    constexpr std::size_t kAhead = 16;
    inTwoHalves(n, [&](int, std::size_t begin, std::size_t end) {
        std::size_t released = m_offsets[begin];
        for (std::size_t row = begin; row < end; ++row) {
            // Where rows ahead go, and their new places, are asked for well before their turn:
            // each is a miss in memory, and asked for early the misses overlap.
            if (row + 2 * kAhead < end)
                __builtin_prefetch(&offsets[place[row + 2 * kAhead]]);
            if (row + kAhead < end)
                __builtin_prefetch(into + offsets[place[row + kAhead]], 1);
            const std::uint32_t source = m_offsets[row], length = m_offsets[row + 1] - source;
            if (length)
                std::memcpy(into + offsets[place[row]], from + source, length);
            if (m_offsets[row + 1] - released >= kReleaseEvery) {
                m_text.release(released, m_offsets[row + 1]);
                released = m_offsets[row + 1];
            }
        }
    });
    m_text = std::move(text);
    m_offsets.swap(offsets);
}

bool ColumnValues::isAscii() const
{
    std::call_once(m_asciiOnce, [this] { m_ascii = jettext::isAscii(m_text); });
    return m_ascii;
}

void ColumnValues::appendFolded(std::size_t begin, std::size_t end, std::string &text,
                                std::vector<std::uint32_t> &ends) const
{
    // Runs of ASCII rows are folded as one stretch of the buffer, and keep their lengths;
    // only a row with other letters is folded on its own.
    const std::string_view all(m_text);
    const std::uint32_t *offsets = m_offsets.data();
    std::size_t row = begin;
    while (row < end) {
        const std::size_t from = offsets[row];
        const std::size_t other = from + jettext::asciiLength(all.substr(from, offsets[end] - from));
        const std::size_t stop = other == offsets[end]
            ? end
            : std::size_t(std::upper_bound(offsets + row + 1, offsets + end + 1, std::uint32_t(other)) - offsets) - 1;
        const std::size_t base = text.size();
        jettext::appendFoldedAscii(all.substr(from, offsets[stop] - from), text);
        for (std::size_t r = row; r < stop; ++r)
            ends.push_back(std::uint32_t(base + (offsets[r + 1] - from)));
        if (stop == end)
            break;
        jettext::appendFolded(all.substr(offsets[stop], offsets[stop + 1] - offsets[stop]), text);
        ends.push_back(std::uint32_t(text.size()));
        row = stop + 1;
    }
}

bool ColumnValues::foldAscii() const
{
    // ASCII text folds to the same length: each half is lowered straight into its place, and
    // the rows keep their offsets; each stretch of rows is marked while it is in the cache. At
    // the first other byte the column takes the general way.
    const std::string_view all(m_text);
    char *out = m_foldedText.extend(all.size());
    reservePopulated(m_foldedMarks, size());
    m_foldedMarks.resize(size());
    bool ascii[2] = {true, true};
    constexpr std::size_t kRowsAtOnce = 4096;
    inTwoHalves(size(), [&](int part, std::size_t begin, std::size_t end) {
        for (std::size_t first = begin; first < end && ascii[part]; first += kRowsAtOnce) {
            const std::size_t last = std::min(end, first + kRowsAtOnce);
            const std::size_t from = m_offsets[first], length = m_offsets[last] - from;
            ascii[part] = jettext::foldAscii(all.substr(from, length), out + from) == length;
            markLetters(out, m_offsets.data(), first, last);
        }
    });
    if (ascii[0] && ascii[1]) {
        m_foldedKeepsOffsets = true;
        return true;
    }
    m_foldedText = TextBuffer();
    m_foldedMarks = {};
    return false;
}

void ColumnValues::markLetters(const char *texts, const std::uint32_t *offsets, std::size_t begin, std::size_t end) const
{
    for (std::size_t row = begin; row < end; ++row)
        m_foldedMarks[row] = jettext::letterMarks(std::string_view(texts + offsets[row], offsets[row + 1] - offsets[row]));
}

void ColumnValues::buildFolded(std::size_t limit) const
{
    if (foldAscii())
        return;
    // Two halves folded side by side, then each copied into its place, also side by side:
    // the second half's text and ends move up by the length of the first.
    std::string texts[2];
    std::vector<std::uint32_t> ends[2];
    const std::size_t rows = size();
    inTwoHalves(rows, [&](int part, std::size_t begin, std::size_t end) {
        texts[part].reserve(m_offsets[end] - m_offsets[begin]);
        ends[part].reserve(end - begin);
        appendFolded(begin, end, texts[part], ends[part]);
    });
    if (texts[0].size() + texts[1].size() > limit) {
        // Past what the offsets reach (the ends of each part have wrapped): nothing is kept.
        m_foldedByRow = true;
        return;
    }
    char *out = m_foldedText.extend(texts[0].size() + texts[1].size());
    m_foldedOffsets.resize(rows + 1);
    inTwoHalves(rows, [&](int part, std::size_t begin, std::size_t) {
        const std::size_t shift = part == 0 ? 0 : texts[0].size();
        if (!texts[part].empty())  // an empty column's buffer is no address at all
            std::memcpy(out + shift, texts[part].data(), texts[part].size());
        std::uint32_t *at = m_foldedOffsets.data() + begin + 1;
        for (std::uint32_t e : ends[part])
            *at++ = std::uint32_t(e + shift);
    });
    m_foldedOffsets[0] = 0;
    reservePopulated(m_foldedMarks, rows);
    m_foldedMarks.resize(rows);
    inTwoHalves(rows, [&](int, std::size_t begin, std::size_t end) { markLetters(out, m_foldedOffsets.data(), begin, end); });
}

ColumnValues::Folded ColumnValues::folded(std::size_t limit) const
{
    std::call_once(m_foldedOnce, [&] { buildFolded(limit); });
    if (m_foldedByRow)
        return {};
    return {m_foldedText, m_foldedKeepsOffsets ? m_offsets.data() : m_foldedOffsets.data(), m_foldedMarks.data()};
}

std::size_t ColumnValues::byteSize() const
{
    return m_nulls.capacity() + m_narrowIntegers.capacity() * 4 + m_integers.capacity() * 8 + m_reals.capacity() * 8
        + m_text.capacity()
        + m_offsets.capacity() * 4 + m_foldedText.capacity() + m_foldedOffsets.capacity() * 4
        + m_foldedMarks.capacity() * 8 + m_runStarts.capacity();
}

}  // namespace engine
