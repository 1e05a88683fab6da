#include "jet_text.h"

#include <algorithm>
#include <cstring>

namespace jettext {

namespace {

inline unsigned char asciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

int compareAscii(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = asciiLower(static_cast<unsigned char>(a[i]));
        const unsigned char y = asciiLower(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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
    if (isAscii(a) && isAscii(b))
        return compareAscii(a, b);
    const QString qa = QString::fromUtf8(a.data(), qsizetype(a.size()));
    const QString qb = QString::fromUtf8(b.data(), qsizetype(b.size()));
    if (int c = compareKeys(primaryKey(qa), primaryKey(qb)))
        return c;
    return compareKeys(qa.normalized(QString::NormalizationForm_C).toCaseFolded(),
                       qb.normalized(QString::NormalizationForm_C).toCaseFolded());
}

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

}  // namespace jettext
