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
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

inline int u16(const QByteArray &bytes, qsizetype at) { return quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8); }
inline void put16(QByteArray &bytes, qsizetype at, int v)
{
    bytes[at] = char(v & 0xff);
    bytes[at + 1] = char((v >> 8) & 0xff);
}
inline quint32 u32(const QByteArray &bytes, qsizetype at) { return quint32(u16(bytes, at)) | quint32(u16(bytes, at + 2)) << 16; }
inline void put32(QByteArray &bytes, qsizetype at, quint32 v)
{
    put16(bytes, at, int(v & 0xffff));
    put16(bytes, at + 2, int(v >> 16));
}

/// The table definition page whose columns include `column`.
inline qsizetype definitionPageNaming(const QByteArray &bytes, const QString &column)
{
    const QByteArray marker(reinterpret_cast<const char *>(column.utf16()), column.size() * 2);
    for (qsizetype pg = 3; pg < bytes.size() / kPage; ++pg)
        if (bytes[pg * kPage] == 2 && bytes.mid(pg * kPage, kPage).contains(marker))
            return pg;
    return -1;
}

/// A table as delivered: its columns, and each row's values as text ("\N" for Null),
/// or only the count of rows for tables that may never end.
class TableRows final : public jet::RowSink {
public:
    explicit TableRows(bool keep = true) : keep(keep) {}
    void columns(const QVector<jet::Column> &columns) override { cols = columns; }
    void row(const std::vector<jet::Cell> &cells) override
    {
        ++count;
        if (!keep)
            return;
        QStringList values;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const jet::Cell &c = cells[i];
            const bool text = cols[int(i)].type == jet::ColumnType::Text || cols[int(i)].type == jet::ColumnType::Memo;
            values << (c.isNull ? QStringLiteral("\\N")
                       : text   ? QString::fromUtf8(c.text.data(), qsizetype(c.text.size()))
                                : QString::number(c.integer));
        }
        rows << values;
    }
    QString value(int row, const QString &column) const
    {
        for (int i = 0; i < cols.size(); ++i)
            if (cols[i].name == column)
                return rows.value(row).value(i);
        return QStringLiteral("(no column %1)").arg(column);
    }
    bool keep;
    qint64 count = 0;
    QVector<jet::Column> cols;
    QVector<QStringList> rows;
};

}  // namespace jetbytes
