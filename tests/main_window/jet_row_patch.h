#pragma once

#include <QByteArray>
#include <QString>

namespace jet_patch {
constexpr int kPageSize = 4096;

inline bool pageHolds(const QByteArray &file, qsizetype page, const QString &text)
{
    const QByteArray compressed = QByteArray("\xFF\xFE", 2) + text.toLatin1();
    const QByteArray wide(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    const QByteArray bytes = file.mid(page, kPageSize);
    return bytes.contains(compressed) || bytes.contains(wide);
}
}  // namespace jet_patch

/// The offset of the first data page that holds `text`, or -1.
inline qsizetype dataPageWith(const QByteArray &file, const QString &text)
{
    for (qsizetype page = 0; page + jet_patch::kPageSize <= file.size(); page += jet_patch::kPageSize)
        if (file.at(page) == 0x01 && jet_patch::pageHolds(file, page, text))
            return page;
    return -1;
}

/// Makes one value of a fixture catalog Null, in place: the Jet 4.0 data-page row that
/// holds `uniqueText` (stored compressed or as UTF-16) gets the null-mask bit of column
/// `columnNumber` cleared. Returns false when no such row is found.
inline bool setColumnNullInRowWith(QByteArray &file, const QString &uniqueText, int columnNumber)
{
    constexpr int kPageSize = 4096;
    constexpr char kDataPage = 0x01;
    constexpr int kRowCountAt = 12;
    constexpr int kRowTableAt = 14;
    constexpr int kRowFlags = 0xC000;  // deleted or overflow rows
    constexpr int kRowOffsetMask = 0x1FFF;

    const QByteArray compressed = QByteArray("\xFF\xFE", 2) + uniqueText.toLatin1();
    const QByteArray wide(reinterpret_cast<const char *>(uniqueText.utf16()),
                          uniqueText.size() * 2);
    auto word = [&file](qsizetype at) {
        return int(quint8(file.at(at))) | (int(quint8(file.at(at + 1))) << 8);
    };
    for (qsizetype page = 0; page + kPageSize <= file.size(); page += kPageSize) {
        if (file.at(page) != kDataPage)
            continue;
        const int rows = word(page + kRowCountAt);
        for (int i = 0; i < rows && kRowTableAt + 2 * i + 2 <= kPageSize; ++i) {
            const int entry = word(page + kRowTableAt + 2 * i);
            if (entry & kRowFlags)
                continue;
            const int start = entry & kRowOffsetMask;
            const int end = i == 0 ? kPageSize : (word(page + kRowTableAt + 2 * (i - 1)) & kRowOffsetMask);
            if (start >= end)
                continue;
            const QByteArray row = file.mid(page + start, end - start);
            if (!row.contains(compressed) && !row.contains(wide))
                continue;
            const int columns = word(page + start);
            const int maskBytes = (columns + 7) / 8;
            if (columnNumber >= columns || maskBytes >= row.size())
                return false;
            const qsizetype maskAt = page + end - maskBytes + columnNumber / 8;
            file[maskAt] = char(quint8(file.at(maskAt)) & ~(1u << (columnNumber % 8)));
            return true;
        }
    }
    return false;
}
