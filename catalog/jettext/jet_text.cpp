#include "catalog/jettext/jet_text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace jettext {

namespace {

inline unsigned char asciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// asciiLower on each of eight ASCII bytes at once (no byte may have its high bit set).
inline std::uint64_t asciiLower8(std::uint64_t x)
{
    const std::uint64_t atLeastA = (x + kOnes * (0x80 - 'A')) & kHighBits;
    const std::uint64_t pastZ = (x + kOnes * (0x80 - 'Z' - 1)) & kHighBits;
    return x | ((atLeastA & ~pastZ) >> 2);
}

// Letters without case and accents: the key that puts é beside e.
QString primaryKey(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString key;
    key.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const auto category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        key.append(c);
    }
    return key.toCaseFolded();
}

int compareKeys(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Length of the UTF-8 sequence that starts with `lead` (1 for stray continuation bytes).
inline size_t sequenceLength(unsigned char lead)
{
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return 4;
}

// The full rule: letters without case or accents first, then accents.
int compareGeneral(std::string_view a, std::string_view b);

// Bit k set where the needle's first letter stands at text[k] and its last at
// text[k + n - 1], for k below `count` (at most 16).
inline unsigned candidates(const char *text, size_t count, size_t n, char first, char last)
{
#if defined(__SSE2__) || defined(_M_X64)
    if (count == 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + n - 1));
        return unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(starts, _mm_set1_epi8(first)), _mm_cmpeq_epi8(ends, _mm_set1_epi8(last)))));
    }
#endif
    unsigned mask = 0;
    for (size_t k = 0; k < count; ++k)
        if (text[k] == first && text[k + n - 1] == last)
            mask |= 1u << k;
    return mask;
}

// Rows matched a block at a time, so that a block's texts and its marks stay in the cache.
constexpr size_t kRowsPerBlock = 4096;

// The bits of `marks` from bit `at` on (bit k is bit k % 8 of byte k / 8), at least 57 of
// them in the low end of the result.
inline std::uint64_t marksFrom(const std::uint8_t *marks, size_t at)
{
    std::uint64_t window;
    std::memcpy(&window, marks + at / 8, 8);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int k = 0; k < 8; ++k, window >>= 8)
            swapped = (swapped << 8) | (window & 0xff);
        window = swapped;
    }
    return window >> (at % 8);
}

// hits[r - begin] = whether row r's text holds `needle` (not empty). The places where the
// needle's first and last letters both stand are marked for a block's texts end to end,
// sixteen places a step, and each row then reads the marks of the starts that keep the
// needle within it: no branch a row, however often or seldom the letters come.
void markContaining(const char *base, const std::uint32_t *offsets, size_t begin, size_t end,
                    std::string_view needle, std::uint8_t *hits, const std::uint64_t *letters, std::uint64_t need)
{
    const size_t n = needle.size();
    const char first = needle.front(), last = needle.back();
    std::vector<std::uint8_t> marks;
    // A row without every letter of the needle cannot hold it: with the rows' letterMarks(), a
    // block of such rows is passed over, texts unread, and so is each such row of a block of
    // nearly only such rows.
    const auto lacks = [letters, need](size_t r) { return letters && (letters[r] & need) != need; };
    for (size_t blockBegin = begin; blockBegin < end; blockBegin += kRowsPerBlock) {
        const size_t blockEnd = std::min(end, blockBegin + kRowsPerBlock);
        // Only where nearly every row lacks a letter is a branch a row cheaper than reading them all.
        bool passOver = false;
        if (letters && need) {
            size_t lacking = 0;
            for (size_t r = blockBegin; r < blockEnd; ++r)
                lacking += lacks(r);
            if (lacking == blockEnd - blockBegin) {
                std::memset(hits + (blockBegin - begin), 0, blockEnd - blockBegin);
                continue;
            }
            passOver = lacking * 8 >= (blockEnd - blockBegin) * 7;
        }
        const char *text = base + offsets[blockBegin];
        const size_t length = offsets[blockEnd] - offsets[blockBegin];
        const size_t places = length >= n ? length - n + 1 : 0;
        marks.assign(places / 8 + 16, 0);  // room for the last row's eight-byte read
        for (size_t k = 0; k < places; k += 16) {
            const unsigned mask = candidates(text + k, std::min<size_t>(16, places - k), n, first, last);
            marks[k / 8] = std::uint8_t(mask);
            marks[k / 8 + 1] = std::uint8_t(mask >> 8);
        }
        // Whether any of `count` (at most 56) starts from `at` on holds the whole needle.
        const auto holds = [&](size_t at, size_t count) {
            if (count == 0)  // a row shorter than the needle: its place may lie past the last mark
                return false;
            std::uint64_t mask = marksFrom(marks.data(), at) & ((std::uint64_t(1) << count) - 1);
            if (n <= 2)
                return mask != 0;
            for (; mask; mask &= mask - 1) {
                const size_t start = at + size_t(std::countr_zero(mask));
                if (std::memcmp(text + start + 1, needle.data() + 1, n - 2) == 0)
                    return true;
            }
            return false;
        };
        for (size_t r = blockBegin; r < blockEnd; ++r) {
            if (passOver && lacks(r)) {
                hits[r - begin] = 0;
                continue;
            }
            const size_t at = offsets[r] - offsets[blockBegin];
            const size_t rowLength = offsets[r + 1] - offsets[r];
            const size_t starts = rowLength >= n ? rowLength - n + 1 : 0;
            bool found = holds(at, std::min<size_t>(starts, 56));
            for (size_t done = 56; done < starts && !found; done += 56)  // a long row: 56 starts a step
                found = holds(at + done, std::min<size_t>(56, starts - done));
            hits[r - begin] = found;
        }
    }
}

}  // namespace

bool isAscii(std::string_view utf8)
{
    return asciiLength(utf8) == utf8.size();
}

size_t asciiLength(std::string_view utf8)
{
    // Eight bytes a step up to the word that holds the first other byte, then byte by byte.
    const char *data = utf8.data();
    size_t i = 0;
    for (; i + 8 <= utf8.size(); i += 8) {
        std::uint64_t x;
        std::memcpy(&x, data + i, 8);
        if (x & kHighBits)
            break;
    }
    while (i < utf8.size() && !(static_cast<unsigned char>(data[i]) & 0x80))
        ++i;
    return i;
}

int compare(std::string_view a, std::string_view b)
{
    // Up to the first difference in ASCII letters the general rule gives the same answer,
    // so only texts that meet non-ASCII text before they differ take the slow path.
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    // Eight letters at a time while both texts are ASCII there: listing names share long
    // beginnings, and an index build compares them millions of times.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x = 0, y = 0;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if ((x | y) & kHighBits)
            break;
        x = asciiLower8(x);
        y = asciiLower8(y);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::big)
                return x < y ? -1 : 1;
            // The first differing letter is the lowest differing byte in memory order.
            const int shift = std::countr_zero(x ^ y) & ~7;
            return ((x >> shift) & 0xff) < ((y >> shift) & 0xff) ? -1 : 1;
        }
    }
    for (; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80)
            return compareGeneral(a, b);
        const unsigned char lx = asciiLower(x), ly = asciiLower(y);
        if (lx != ly)
            return lx < ly ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    // A longer tail may hold combining marks, which the general rule weighs differently.
    if (!isAscii(a.substr(i)) || !isAscii(b.substr(i)))
        return compareGeneral(a, b);
    return a.size() < b.size() ? -1 : 1;
}

QString sortKey(std::string_view utf8)
{
    // The letters without case or accents, a separator below every character, then the
    // letters with their accents: plain order on this is the letters first, then accents.
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (isAscii(utf8)) {
        const QString lower = text.toLower();
        return lower + QChar(0) + lower;
    }
    return primaryKey(text) + QChar(0) + text.normalized(QString::NormalizationForm_C).toCaseFolded();
}

namespace {

int compareGeneral(std::string_view a, std::string_view b)
{
    const QString qa = QString::fromUtf8(a.data(), qsizetype(a.size()));
    const QString qb = QString::fromUtf8(b.data(), qsizetype(b.size()));
    if (int c = compareKeys(primaryKey(qa), primaryKey(qb)))
        return c;
    return compareKeys(qa.normalized(QString::NormalizationForm_C).toCaseFolded(),
                       qb.normalized(QString::NormalizationForm_C).toCaseFolded());
}

}  // namespace

size_t foldAscii(std::string_view text, char *out)
{
    const char *in = text.data();
    const size_t n = text.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, in + i, 8);
        if (x & kHighBits)
            return i;
        x = asciiLower8(x);
        std::memcpy(out + i, &x, 8);
    }
    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c & 0x80)
            return i;
        out[i] = char(asciiLower(c));
    }
    return n;
}

void appendFoldedAscii(std::string_view ascii, std::string &out)
{
    const size_t start = out.size();
    out.append(ascii);
    foldAscii(std::string_view(out).substr(start), out.data() + start);
}

void appendFolded(std::string_view utf8, std::string &out)
{
    if (isAscii(utf8)) {
        appendFoldedAscii(utf8, out);
        return;
    }
    out.append(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))
                   .normalized(QString::NormalizationForm_C)
                   .toCaseFolded()
                   .toStdString());
}

std::string fold(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    appendFolded(utf8, out);
    return out;
}

bool wildcardMatch(std::string_view text, std::string_view pattern, char anyRun, char anyOne,
                   char anyRun2)
{
    // Greedy match with one backtrack point: the last run wildcard seen.
    size_t t = 0, p = 0;
    size_t starP = std::string_view::npos, starT = 0;
    auto isRun = [&](char c) { return c == anyRun || (anyRun2 && c == anyRun2); };
    while (t < text.size()) {
        if (p < pattern.size() && isRun(pattern[p])) {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pattern.size() && anyOne && pattern[p] == anyOne) {
            t += sequenceLength(static_cast<unsigned char>(text[t]));
            ++p;
            continue;
        }
        if (p < pattern.size()) {
            const size_t len = sequenceLength(static_cast<unsigned char>(pattern[p]));
            if (text.compare(t, len, pattern.substr(p, len)) == 0) {
                t += len;
                p += len;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        starT += sequenceLength(static_cast<unsigned char>(text[starT]));
        t = starT;
        p = starP;
    }
    while (p < pattern.size() && isRun(pattern[p]))
        ++p;
    return p == pattern.size();
}

LikePattern::LikePattern(std::string_view pattern, char anyRun, char anyOne, char anyRun2)
    : m_folded(fold(pattern)), m_asciiPattern(isAscii(pattern)), m_anyRun(anyRun), m_anyOne(anyOne),
      m_anyRun2(anyRun2)
{
    const std::string &p = m_folded;
    const bool leading = !p.empty() && isRun(p.front());
    const bool trailing = p.size() > 1 && isRun(p.back());
    const size_t begin = leading ? 1 : 0;
    const size_t end = p.size() - (trailing ? 1 : 0);
    const std::string_view inner = std::string_view(p).substr(begin, end - begin);
    for (char c : inner)
        if (isRun(c) || (m_anyOne && c == m_anyOne))
            return;  // stays General
    m_needle = std::string(inner);
    if (p.size() == 1 && leading)
        m_shape = Shape::Contains;  // a lone wildcard: the empty text is in everything
    else
        m_shape = leading && trailing ? Shape::Contains
            : leading                 ? Shape::Suffix
            : trailing                ? Shape::Prefix
                                      : Shape::Exact;
}

bool LikePattern::matchesFolded(std::string_view text) const
{
    const std::string_view needle(m_needle);
    switch (m_shape) {
    case Shape::Exact: return text == needle;
    case Shape::Prefix: return text.substr(0, needle.size()) == needle;
    case Shape::Suffix:
        return text.size() >= needle.size() && text.substr(text.size() - needle.size()) == needle;
    case Shape::Contains: return text.find(needle) != std::string_view::npos;
    case Shape::General: return wildcardMatch(text, m_folded, m_anyRun, m_anyOne, m_anyRun2);
    }
    return false;
}

void LikePattern::matchFoldedRows(std::string_view texts, const std::uint32_t *offsets, size_t begin,
                                  size_t end, std::uint8_t *hits, const std::uint64_t *marks) const
{
    const char *base = texts.data();
    const size_t n = m_needle.size();
    if (marks && n == 1) {
        const auto c = static_cast<unsigned char>(m_needle.front());
        if (const std::uint64_t mark = letterMark(c); m_shape == Shape::Contains && mark) {
            for (size_t r = begin; r < end; ++r)
                hits[r - begin] = (marks[r] & mark) != 0;
            return;
        }
        if (m_shape == Shape::Prefix && c != 0) {
            for (size_t r = begin; r < end; ++r)
                hits[r - begin] = (marks[r] >> 56) == c;
            return;
        }
    }
    if (m_shape == Shape::Contains && n > 0) {
        std::uint64_t need = 0;
        for (const char c : m_needle)
            need |= letterMark(static_cast<unsigned char>(c));
        markContaining(base, offsets, begin, end, m_needle, hits, marks, need);
        return;
    }
    if (m_shape == Shape::Prefix && n > 0) {
        const char first = m_needle.front();
        for (size_t r = begin; r < end; ++r) {
            const std::uint32_t at = offsets[r];
            hits[r - begin] = offsets[r + 1] - at >= n && base[at] == first
                && std::memcmp(base + at, m_needle.data(), n) == 0;
        }
        return;
    }
    for (size_t r = begin; r < end; ++r)
        hits[r - begin] = matchesFolded(texts.substr(offsets[r], offsets[r + 1] - offsets[r]));
}

bool LikePattern::narrows(const LikePattern &wider) const
{
    if (m_shape == Shape::General || wider.m_shape == Shape::General)
        return false;
    const std::string_view mine(m_needle), theirs(wider.m_needle);
    const bool startsWith = mine.substr(0, theirs.size()) == theirs;
    const bool endsWith = mine.size() >= theirs.size() && mine.substr(mine.size() - theirs.size()) == theirs;
    switch (wider.m_shape) {
    case Shape::Contains: return mine.find(theirs) != std::string_view::npos;
    case Shape::Prefix: return (m_shape == Shape::Prefix || m_shape == Shape::Exact) && startsWith;
    case Shape::Suffix: return (m_shape == Shape::Suffix || m_shape == Shape::Exact) && endsWith;
    case Shape::Exact: return m_shape == Shape::Exact && mine == theirs;
    case Shape::General: break;
    }
    return false;
}

bool LikePattern::matches(std::string_view text) const
{
    if (m_asciiPattern && m_shape != Shape::General) {
        // ASCII letters fold to themselves in lower case wherever they stand, so a match
        // found in the ASCII part of the text stands; only a miss in text that holds other
        // letters needs the full fold.
        const std::string_view needle(m_needle);
        const size_t n = needle.size();
        auto equalAt = [&](size_t at) {
            for (size_t k = 0; k < n; ++k)
                if (asciiLower(static_cast<unsigned char>(text[at + k])) != static_cast<unsigned char>(needle[k]))
                    return false;
            return true;
        };
        switch (m_shape) {
        case Shape::Prefix:
            if (text.size() >= n && isAscii(text.substr(0, n)))
                return equalAt(0);
            break;
        case Shape::Suffix:
            if (text.size() >= n && isAscii(text.substr(text.size() - n)))
                return equalAt(text.size() - n);
            break;
        case Shape::Exact:
            if (isAscii(text))
                return text.size() == n && equalAt(0);
            break;
        case Shape::Contains: {
            if (n == 0)
                return true;
            // The needle's first letter in either case, found by memchr: most texts hold it
            // a few times at most.
            const char lower = needle[0];
            const char upper = lower >= 'a' && lower <= 'z' ? char(lower - ('a' - 'A')) : lower;
            const char *data = text.data();
            const char *last = text.size() >= n ? data + (text.size() - n) + 1 : data;  // starts end here
            const auto next = [&](char c, const char *from) {
                return from < last ? static_cast<const char *>(std::memchr(from, c, size_t(last - from))) : nullptr;
            };
            const char *atLower = next(lower, data);
            const char *atUpper = upper == lower ? nullptr : next(upper, data);
            while (atLower || atUpper) {
                const bool takeLower = atLower && (!atUpper || atLower < atUpper);
                const char *at = takeLower ? atLower : atUpper;
                if (equalAt(size_t(at - data)))
                    return true;
                (takeLower ? atLower : atUpper) = next(takeLower ? lower : upper, at + 1);
            }
            if (isAscii(text))
                return false;
            break;
        }
        case Shape::General: break;
        }
    }
    if (isAscii(text)) {
        thread_local std::string folded;
        folded.clear();
        appendFolded(text, folded);
        return matchesFolded(folded);
    }
    return matchesFolded(fold(text));
}

}  // namespace jettext
