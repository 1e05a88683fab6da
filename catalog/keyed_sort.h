#pragma once

#include "two_way.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

/// Sorting many rows by one value through short integer keys, so that the full (and slower)
/// comparison runs only where the keys tie. Used for a recordset's Sort and for putting a
/// table in its listing order while it is loaded.
namespace keyed_sort {

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

/// A row with its sort value: a number, or the first sixteen bytes of a text.
struct KeyedRow {
    std::uint64_t key;
    std::uint64_t key2;
    int row;
};

/// Sorts by key (then by `tie` when the keys are equal, then by row, which keeps the
/// earlier order among equal values in both directions): each half on its own thread,
/// then merged.
template <typename Tie>
void sortKeyed(std::vector<KeyedRow> &rows, bool descending, const Tie &tie)
{
    const auto less = [&](const KeyedRow &a, const KeyedRow &b) {
        if (a.key != b.key)
            return descending ? a.key > b.key : a.key < b.key;
        if (a.key2 != b.key2)
            return descending ? a.key2 > b.key2 : a.key2 < b.key2;
        if (const int c = tie(a.row, b.row))
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    };
    std::size_t middle = 0;
    two_way::run(rows.size(), [&](int part, std::size_t begin, std::size_t end) {
        std::sort(rows.begin() + std::ptrdiff_t(begin), rows.begin() + std::ptrdiff_t(end), less);
        if (part == 1)
            middle = begin;
    });
    if (middle > 0)
        std::inplace_merge(rows.begin(), rows.begin() + std::ptrdiff_t(middle), rows.end(), less);
}

}  // namespace keyed_sort
