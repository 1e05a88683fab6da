#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Text semantics of the Jet engine, on UTF-8: comparisons and LIKE ignore letter case for
/// every letter (É equals é), and accented letters sort beside their base letter.
namespace jettext {

/// True when every byte is 7-bit ASCII (the fast paths below apply).
bool isAscii(std::string_view utf8);
/// How many bytes at the start of `utf8` are 7-bit ASCII (its size when all are).
size_t asciiLength(std::string_view utf8);

/// Orders two UTF-8 texts as Jet sorts them: first by their letters without case or
/// accents, then by accents; texts that differ only in letter case compare equal.
/// Returns <0, 0 or >0.
int compare(std::string_view a, std::string_view b);

/// A key whose plain code-unit order is the order of compare(): sorting many texts by
/// their keys avoids working out each text's letters again at every comparison.
QString sortKey(std::string_view utf8);

/// The text with letter case folded away (accents kept): two texts match without regard
/// to case exactly when their folded forms are equal byte for byte.
std::string fold(std::string_view utf8);
/// Appends fold(utf8) to `out`.
void appendFolded(std::string_view utf8, std::string &out);
/// Appends `ascii` (7-bit ASCII only) folded: its letters in lower case.
void appendFoldedAscii(std::string_view ascii, std::string &out);
/// Writes the ASCII text at the start of `text` folded to `out` (which may be text.data()),
/// up to the first other byte or a little before it; returns how many bytes it wrote, which
/// is text.size() exactly when all of `text` is ASCII.
size_t foldAscii(std::string_view text, char *out);

/// Matches folded `text` against folded `pattern`, in which `anyRun` stands for any run of
/// characters (also none) and `anyOne` for exactly one character (0 for none). Both are
/// ASCII characters; the pattern has no escapes.
bool wildcardMatch(std::string_view text, std::string_view pattern, char anyRun, char anyOne,
                   char anyRun2 = 0);

/// The letters a to z and the digits of a folded text, a bit each (bits 0 to 35), with its
/// first byte (0 for none) in the top eight bits: a search for one letter is answered from
/// the marks of each row without reading its text.
namespace detail {
// Each byte's bit in letterMarks(): a to z, then 0 to 9; none for any other byte.
inline constexpr auto kLetterMarks = [] {
    std::array<std::uint64_t, 256> marks{};
    for (int c = 'a'; c <= 'z'; ++c)
        marks[std::size_t(c)] = std::uint64_t(1) << (c - 'a');
    for (int c = '0'; c <= '9'; ++c)
        marks[std::size_t(c)] = std::uint64_t(1) << (26 + c - '0');
    return marks;
}();
}  // namespace detail

/// The bit of letterMarks() that says a folded text holds byte `c`; 0 for a byte it does not keep.
inline std::uint64_t letterMark(unsigned char c) { return detail::kLetterMarks[c]; }

inline std::uint64_t letterMarks(std::string_view folded)
{
    // A byte's mark looked up, not worked out: a column of millions of rows is marked at once.
    const auto *p = reinterpret_cast<const unsigned char *>(folded.data());
    const std::size_t n = folded.size();
    std::uint64_t even = 0, odd = 0;
    std::size_t i = 0;
    for (; i + 1 < n; i += 2) {
        even |= letterMark(p[i]);
        odd |= letterMark(p[i + 1]);
    }
    if (i < n)
        even |= letterMark(p[i]);
    return (n ? std::uint64_t(p[0]) << 56 : 0) | even | odd;
}

/// A LIKE pattern prepared once and matched against many texts without regard to letter
/// case. `anyRun` (and `anyRun2`, when not 0) stand for any run of characters, `anyOne`
/// (when not 0) for exactly one character.
class LikePattern {
public:
    LikePattern(std::string_view pattern, char anyRun, char anyOne, char anyRun2 = 0);
    /// Matches text as stored (ASCII text is matched in place, without folding a copy).
    bool matches(std::string_view text) const;
    /// Matches text that is already folded.
    bool matchesFolded(std::string_view folded) const;
    /// matchesFolded() over rows [begin, end) of a folded column at once: row r's text is
    /// texts[offsets[r], offsets[r + 1]), and hits[r - begin] is set to 1 when it matches,
    /// else 0.
    /// A match never runs from one row's text into the next.
    /// With `marks` (letterMarks() of row r at marks[r]), a pattern of one letter is matched
    /// from them alone.
    void matchFoldedRows(std::string_view texts, const std::uint32_t *offsets, size_t begin, size_t end,
                         std::uint8_t *hits, const std::uint64_t *marks = nullptr) const;
    /// True when every text this pattern matches is sure to match `wider` as well (a
    /// further letter typed into a search): then only the rows `wider` let through need
    /// to be matched again. False whenever that is not plain from the two patterns.
    bool narrows(const LikePattern &wider) const;

private:
    enum class Shape { Exact, Prefix, Suffix, Contains, General };
    bool isRun(char c) const { return c == m_anyRun || (m_anyRun2 && c == m_anyRun2); }

    Shape m_shape = Shape::General;
    std::string m_folded;  ///< the whole folded pattern
    std::string m_needle;  ///< the folded literal between outer wildcards (not General)
    bool m_asciiPattern = true;
    char m_anyRun, m_anyOne, m_anyRun2;
};

}  // namespace jettext
