#pragma once

#include "catalog/reader_client/catalog_file.h"
#include "jet/little_endian.h"
#include "tests/support/catalog_tool.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

/// Catalog files as bytes, for tests that damage or rewrite them, and a sink that keeps
/// what a CatalogFile delivers.
namespace jetbytes {

constexpr int kPage = 4096;

inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return file.fileName();
}

// The file's own little-endian numbers, at a place in a file's bytes.
inline const unsigned char *at(const QByteArray &b, qsizetype pos) { return reinterpret_cast<const unsigned char *>(b.constData() + pos); }
inline unsigned char *at(QByteArray &b, qsizetype pos) { return reinterpret_cast<unsigned char *>(b.data() + pos); }
inline int u16(const QByteArray &b, qsizetype pos) { return jet::le::get16(at(b, pos)); }
inline quint32 u32(const QByteArray &b, qsizetype pos) { return jet::le::get32(at(b, pos)); }
inline void put32(QByteArray &b, qsizetype pos, quint32 v) { jet::le::put32(at(b, pos), v); }
inline void put16(QByteArray &b, qsizetype pos, int v) { jet::le::put16(at(b, pos), quint32(v)); }

/// The table definition page whose columns include `column`.
inline qsizetype definitionPageNaming(const QByteArray &bytes, const QString &column)
{
    const QByteArray marker(reinterpret_cast<const char *>(column.utf16()), column.size() * 2);
    for (qsizetype pg = 3; pg < bytes.size() / kPage; ++pg)
        if (bytes[pg * kPage] == 2 && bytes.mid(pg * kPage, kPage).contains(marker))
            return pg;
    return -1;
}

/// A table as delivered: its columns, its rows counted, and the text of its `Name` column row by row.
class TableRows final : public reader_client::RowSink {
public:
    void columns(const QVector<jet::Column> &columns) override { cols = columns; }
    void row(const std::vector<reader_client::Cell> &cells) override
    {
        ++rows;
        for (qsizetype i = 0; i < cols.size(); ++i)
            if (cols[i].name == "Name")
                names << QString::fromUtf8(cells[i].text.data(), qsizetype(cells[i].text.size()));
    }
    QVector<jet::Column> cols;
    QStringList names;
    int rows = 0;
};

}  // namespace jetbytes
