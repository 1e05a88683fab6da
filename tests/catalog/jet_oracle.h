#pragma once

#include "jet_file.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QStringList>
#include <QVector>

/// The fixtures' table scripts (NAME.txt) as raw text, and a sink that keeps what a
/// JetFile delivers, so tests can hold one against the other.
struct OracleTable {
    QString name;
    QStringList columnLines;            ///< "COLUMN ..." lines, as written
    QVector<QList<QByteArray>> rows;    ///< each ROW's fields, still escaped
};

inline QVector<OracleTable> readOracle(const QString &path)
{
    QVector<OracleTable> tables;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tables;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("TABLE "))
            tables.append({QString::fromUtf8(line.mid(6)), {}, {}});
        else if (line.startsWith("COLUMN ") && !tables.isEmpty())
            tables.last().columnLines << QString::fromUtf8(line);
        else if (line.startsWith("ROW ") && !tables.isEmpty())
            tables.last().rows.append(line.mid(4).split('\t'));
    }
    return tables;
}

inline QByteArray unescapeOracle(const QByteArray &value)
{
    QByteArray out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out.append(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
        } else {
            out.append(value[i]);
        }
    }
    return out;
}

/// A currency text of the oracle ("29.95", "-3", "1500000") in Jet's 1/10,000ths.
inline qint64 scaledMoney(const QByteArray &text)
{
    const bool negative = text.startsWith('-');
    const QByteArray body = negative ? text.mid(1) : text;
    const qsizetype dot = body.indexOf('.');
    const QByteArray whole = dot < 0 ? body : body.left(dot);
    QByteArray fraction = dot < 0 ? QByteArray() : body.mid(dot + 1);
    fraction = fraction.leftJustified(4, '0');
    const qint64 value = whole.toLongLong() * 10000 + fraction.toLongLong();
    return negative ? -value : value;
}

struct SeenValue {
    bool isNull = true;
    qint64 integer = 0;
    double real = 0;
    QByteArray text;
};

class CollectingSink final : public jet::RowSink {
public:
    void columns(const QVector<jet::Column> &columns) override { cols = columns; }
    void row(const std::vector<jet::Cell> &cells) override
    {
        QVector<SeenValue> values;
        for (const jet::Cell &cell : cells)
            values.append({cell.isNull, cell.integer, cell.real,
                           QByteArray(cell.text.data(), qsizetype(cell.text.size()))});
        rows.append(values);
    }
    int columnIndex(const QString &name) const
    {
        for (int i = 0; i < cols.size(); ++i)
            if (cols[i].name == name)
                return i;
        return -1;
    }

    QVector<jet::Column> cols;
    QVector<QVector<SeenValue>> rows;
};
