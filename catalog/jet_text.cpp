#include "jet_text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

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

}  // namespace

bool isAscii(std::string_view utf8)
{
    for (char c : utf8)
        if (static_cast<unsigned char>(c) & 0x80)
            return false;
    return true;
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

void appendFolded(std::string_view utf8, std::string &out)
{
    if (isAscii(utf8)) {
        const size_t start = out.size();
        out.append(utf8);
        for (size_t i = start; i < out.size(); ++i)
            out[i] = char(asciiLower(static_cast<unsigned char>(out[i])));
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
