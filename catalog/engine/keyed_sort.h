#pragma once

#include "catalog/engine/memory_pages.h"
#include "catalog/engine/two_threads.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

/// Sorting many rows by one value through short integer keys, so that the full (and slower)
/// comparison runs only where the keys tie. Used for a recordset's Sort and for putting a
/// table in its listing order while it is loaded.
namespace engine::keyed_sort {

/// Eight bytes of ASCII text from `at` on, in lower case, big-endian and padded with
/// zeros: where two such keys differ they order the texts as the full comparison does.
inline std::uint64_t asciiPrefix(std::string_view text, std::size_t at)
{
    std::uint64_t key = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + ('a' - 'A'));
        key = (key << 8) | c;
    }
    return key;
}

/// A row with its sort value: the first 24 bytes of a text and the text's length in bytes.
/// Listing names share long beginnings ("Archive Archive 1000697"): keys that end sooner
/// leave most comparisons to the texts themselves, scattered over memory.
struct KeyedRow {
    std::uint64_t key;
    std::uint64_t key2;
    std::uint64_t key3;
    int row;
    std::uint32_t length = 0;
};

/// The keys of `text` for a KeyedRow.
inline KeyedRow keyedRow(std::string_view text, int row)
{
    return {asciiPrefix(text, 0), asciiPrefix(text, 8), asciiPrefix(text, 16), row, std::uint32_t(text.size())};
}

/// True when two rows with equal keys are sure to hold equal values: texts of one length
/// that their keys hold whole. Then the tie-break need not look at the rows.
inline bool keysHoldWhole(const KeyedRow &a, const KeyedRow &b)
{
    return a.length == b.length && a.length <= 24;
}

namespace detail {

inline unsigned keyByte(const KeyedRow &r, int byte)
{
    const std::uint64_t word = byte < 8 ? r.key : byte < 16 ? r.key2 : r.key3;
    return unsigned(word >> (56 - 8 * (byte & 7))) & 0xff;
}

/// The first of the 24 key bytes, from `byte` on, in which rows[0, n) differ; 24 for none.
inline int firstDifferingByte(const KeyedRow *rows, std::size_t n, int byte)
{
    std::uint64_t differ[3] = {0, 0, 0};
    for (std::size_t i = 1; i < n; ++i) {
        differ[0] |= rows[i].key ^ rows[0].key;
        differ[1] |= rows[i].key2 ^ rows[0].key2;
        differ[2] |= rows[i].key3 ^ rows[0].key3;
    }
    for (; byte < 24; ++byte)
        if ((differ[byte / 8] >> (56 - 8 * (byte & 7))) & 0xff)
            return byte;
    return 24;
}

/// Puts rows[0, n) in order by their keys a byte at a time from the first (each pass keeps
/// the rows' order), leaving few rows or rows of equal keys to `less`. Equal beginnings
/// are passed over at once. Asked for `starts` (257 places), it stops after the first pass
/// and says there where each byte's rows begin; it returns false then, true once sorted.
template <typename Less>
bool sortByKeyBytes(KeyedRow *rows, KeyedRow *scratch, std::size_t n, int byte, bool descending, const Less &less,
                    std::size_t *starts = nullptr)
{
    constexpr std::size_t kFew = 48;
    if (n <= kFew) {
        std::sort(rows, rows + n, less);
        return true;
    }
    byte = firstDifferingByte(rows, n, byte);
    if (byte == 24) {
        std::sort(rows, rows + n, less);
        return true;
    }
    const auto bucket = [byte, descending](const KeyedRow &r) {
        const unsigned b = keyByte(r, byte);
        return descending ? 255 - b : b;
    };
    std::size_t counts[257] = {};
    for (std::size_t i = 0; i < n; ++i)
        ++counts[bucket(rows[i]) + 1];
    for (int b = 0; b < 256; ++b)
        counts[b + 1] += counts[b];
    std::size_t next[256];
    std::copy(counts, counts + 256, next);
    for (std::size_t i = 0; i < n; ++i)
        scratch[next[bucket(rows[i])]++] = rows[i];
    std::copy(scratch, scratch + n, rows);
    if (starts) {
        std::copy(counts, counts + 257, starts);
        return false;
    }
    for (int b = 0; b < 256; ++b)
        if (counts[b + 1] - counts[b] > 1)
            sortByKeyBytes(rows + counts[b], scratch + counts[b], counts[b + 1] - counts[b], byte + 1, descending, less);
    return true;
}

}  // namespace detail

/// Sorts by key (then by `tie` when the keys are equal, then by row, which keeps the
/// earlier order among equal values in both directions). The keys are sorted a byte at a
/// time, far fewer steps than comparing them; after the first byte each thread takes the
/// rows of its own bytes.
template <typename Tie>
void sortKeyed(std::vector<KeyedRow> &rows, bool descending, const Tie &tie)
{
    const auto less = [&](const KeyedRow &a, const KeyedRow &b) {
        if (a.key != b.key)
            return descending ? a.key > b.key : a.key < b.key;
        if (a.key2 != b.key2)
            return descending ? a.key2 > b.key2 : a.key2 < b.key2;
        if (a.key3 != b.key3)
            return descending ? a.key3 > b.key3 : a.key3 < b.key3;
        if (!keysHoldWhole(a, b))
            if (const int c = tie(a.row, b.row))
                return descending ? c > 0 : c < 0;
        return a.row < b.row;
    };
    const std::size_t n = rows.size();
    if (n < 2)
        return;
    std::vector<KeyedRow> scratch;
    reservePopulated(scratch, n);
    scratch.resize(n);
    if (n < kTwoThreadMinimum) {
        detail::sortByKeyBytes(rows.data(), scratch.data(), n, 0, descending, less);
        return;
    }
    std::size_t starts[257];
    if (detail::sortByKeyBytes(rows.data(), scratch.data(), n, 0, descending, less, starts))
        return;  // keys all equal: sorted whole by `less`
    // The bytes split where half the rows have gone by; each thread sorts its bytes' rows.
    int split = 0;
    while (split < 256 && starts[split + 1] <= n / 2)
        ++split;
    inTwoHalves(n, [&](int part, std::size_t, std::size_t end) {
        // Part 0 alone (one core) takes every byte.
        const int from = part == 0 ? 0 : split, to = part == 0 && end < n ? split : 256;
        for (int b = from; b < to; ++b)
            if (starts[b + 1] - starts[b] > 1)
                detail::sortByKeyBytes(rows.data() + starts[b], scratch.data() + starts[b], starts[b + 1] - starts[b], 0,
                                       descending, less);
    });
}

/// A row and its number, as an unsigned key whose plain order is the number's order.
struct NumberRow {
    std::uint64_t key;
    int row;
};

namespace detail {

// Stable byte-wise radix sort of `items` by key (`scratch` as large). Only the bytes in
// which some keys differ are counted and passed over: prices differ in two or three.
inline void radixSort(NumberRow *items, NumberRow *scratch, std::size_t n)
{
    if (n < 2)
        return;
    std::uint64_t differing = 0;
    for (std::size_t i = 1; i < n; ++i)
        differing |= items[i].key ^ items[0].key;
    int bytes[8], passes = 0;
    for (int b = 0; b < 8; ++b)
        if ((differing >> (8 * b)) & 0xff)
            bytes[passes++] = b;
    std::vector<std::size_t> counts(std::size_t(passes) * 256, 0);
    for (std::size_t i = 0; i < n; ++i)
        for (int p = 0; p < passes; ++p)
            ++counts[std::size_t(p) * 256 + ((items[i].key >> (8 * bytes[p])) & 0xff)];
    NumberRow *from = items, *to = scratch;
    for (int p = 0; p < passes; ++p) {
        std::size_t *count = counts.data() + std::size_t(p) * 256;
        const int shift = 8 * bytes[p];
        std::size_t at = 0;
        for (int v = 0; v < 256; ++v)
            at += std::exchange(count[v], at);
        for (std::size_t i = 0; i < n; ++i)
            to[count[(from[i].key >> shift) & 0xff]++] = from[i];
        std::swap(from, to);
    }
    if (from != items)
        std::copy(from, from + n, items);
}

}  // namespace detail

/// Rows in row order whose keys span a small range (a price in cents, a rating), placed by
/// counting: writes each row's number to `out` in key order, equal keys in their order, and
/// returns true; false (nothing written) for a range too wide or rows too few. Each half
/// counts and places its own rows on its own thread; the first half's rows of a key go
/// before the second's. Writing row numbers, not rows with keys, leaves a large listing's
/// first sort fewer new pages to touch.
inline bool placeByCount(const std::vector<NumberRow> &rows, bool descending, int *out)
{
    const std::size_t n = rows.size();
    if (n < kTwoThreadMinimum)
        return false;
    constexpr std::uint64_t kCountingRange = std::uint64_t(1) << 20;
    std::uint64_t lows[2] = {rows.front().key, rows.front().key}, highs[2] = {lows[0], lows[0]};
    inTwoHalves(n, [&](int part, std::size_t begin, std::size_t end) {
        std::uint64_t low = lows[part], high = highs[part];
        for (std::size_t i = begin; i < end; ++i) {
            low = std::min(low, rows[i].key);
            high = std::max(high, rows[i].key);
        }
        lows[part] = low;
        highs[part] = high;
    });
    const std::uint64_t low = std::min(lows[0], lows[1]), high = std::max(highs[0], highs[1]);
    if (high - low >= kCountingRange)
        return false;
    // Kept from one sort to the next, as the sort's own scratch is.
    static thread_local std::vector<std::uint32_t> keptCounts[2];
    auto &counts = keptCounts;  // the calling thread's, named so on the other too
    const std::size_t range = std::size_t(high - low) + 1;
    const auto place = [&](const NumberRow &r) { return std::size_t(descending ? high - r.key : r.key - low); };
    counts[0].assign(range, 0);
    counts[1].assign(range, 0);
    inTwoHalves(n, [&](int part, std::size_t begin, std::size_t end) {
        std::uint32_t *count = counts[part].data();
        for (std::size_t i = begin; i < end; ++i)
            ++count[place(rows[i])];
    });
    std::uint32_t at = 0;
    for (std::size_t v = 0; v < range; ++v) {
        const std::uint32_t first = counts[0][v], second = counts[1][v];
        counts[0][v] = at;
        counts[1][v] = at + first;
        at += first + second;
    }
    inTwoHalves(n, [&](int part, std::size_t begin, std::size_t end) {
        std::uint32_t *next = counts[part].data();
        for (std::size_t i = begin; i < end; ++i)
            out[next[place(rows[i])]++] = rows[i].row;
    });
    return true;
}

/// Sorts rows that are in row order by key, ties keeping their order in both directions
/// (for numbers, whose only tie-break is the row): a radix sort of each half on its own
/// thread, then merged. Much cheaper than comparisons on many equal values. The keys are
/// not kept.
inline void sortNumbers(std::vector<NumberRow> &rows, bool descending)
{
    const std::size_t n = rows.size();
    // Kept from one sort to the next: a fresh buffer of a large listing's size costs more in
    // first touches of its memory than the sort itself.
    static thread_local std::vector<NumberRow> kept;
    std::vector<NumberRow> &scratch = kept;  // this thread's, also where the other half runs
    if (descending)
        for (NumberRow &r : rows)
            r.key = ~r.key;
    scratch.resize(n);
    std::size_t middle = 0;
    inTwoHalves(n, [&](int part, std::size_t begin, std::size_t end) {
        detail::radixSort(rows.data() + begin, scratch.data() + begin, end - begin);
        if (part == 1)
            middle = begin;
    });
    if (middle > 0) {
        std::merge(rows.begin(), rows.begin() + std::ptrdiff_t(middle), rows.begin() + std::ptrdiff_t(middle),
                   rows.end(), scratch.begin(), [](const NumberRow &a, const NumberRow &b) {
                       return a.key != b.key ? a.key < b.key : a.row < b.row;
                   });
        rows.swap(scratch);
    }
}

}  // namespace engine::keyed_sort
