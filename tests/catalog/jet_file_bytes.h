#pragma once

#include "jet_file.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

/// Catalog files as bytes, for tests that damage or rewrite them, and a sink that keeps
/// what a JetFile delivers.
namespace jetbytes {

constexpr int kPage = 4096;

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return file.fileName();
}

inline int u16(const QByteArray &b, qsizetype at) { return quint8(b[at]) | (quint8(b[at + 1]) << 8); }
inline quint32 u32(const QByteArray &b, qsizetype at) { return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16; }
inline void put32(QByteArray &b, qsizetype at, quint32 v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}
inline void put16(QByteArray &b, qsizetype at, int v) { put32(b, at, quint32(v), 2); }

/// The table definition page whose columns include `column`.
inline qsizetype definitionPageNaming(const QByteArray &bytes, const QString &column)
{
    const QByteArray marker(reinterpret_cast<const char *>(column.utf16()), column.size() * 2);
    for (qsizetype pg = 3; pg < bytes.size() / kPage; ++pg)
        if (bytes[pg * kPage] == 2 && bytes.mid(pg * kPage, kPage).contains(marker))
            return pg;
    return -1;
}

/// A table as delivered: its columns, and the text of its `Name` column row by row.
class TableRows final : public jet::RowSink {
public:
    void columns(const QVector<jet::Column> &columns) override { cols = columns; }
    void row(const std::vector<jet::Cell> &cells) override
    {
        for (qsizetype i = 0; i < cols.size(); ++i)
            if (cols[i].name == QLatin1String("Name"))
                names << QString::fromUtf8(cells[i].text.data(), qsizetype(cells[i].text.size()));
    }
    QVector<jet::Column> cols;
    QStringList names;
};

}  // namespace jetbytes
