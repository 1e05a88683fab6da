#pragma once

#include "table_source.h"

#include <QFile>
#include <QMap>
#include <QStringList>

#include <cmath>
#include <string>

/// A TableSource that holds its tables in memory, filled from the fixture script format
/// (TABLE, COLUMN, ROW lines) or row by row, so the engine can be tested on tables with
/// any content and without the reader process.
class ScriptTableSource final : public jet::TableSource {
public:
    struct Table {
        QVector<jet::Column> columns;
        QVector<QStringList> rows;  ///< values as in the script; "\\N" is Null
    };

    static ScriptTableSource fromFile(const QString &path)
    {
        ScriptTableSource source;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return source;
        Table *table = nullptr;
        for (const QByteArray &rawLine : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(rawLine);
            if (line.startsWith(QLatin1String("TABLE "))) {
                const QString name = line.mid(6);
                source.m_order.append(name);
                table = &source.m_tables[name];
            } else if (table && line.startsWith(QLatin1String("COLUMN "))) {
                const QStringList words = line.mid(7).split(QLatin1Char(' '));
                jet::Column column;
                column.name = words.value(0);
                column.type = typeOf(words.value(1));
                column.length = words.value(2).toInt();
                table->columns.append(column);
            } else if (table && line.startsWith(QLatin1String("ROW "))) {
                table->rows.append(line.mid(4).split(QLatin1Char('\t')));
            }
        }
        return source;
    }

    void addTable(const QString &name, const QVector<jet::Column> &columns,
                  const QVector<QStringList> &rows)
    {
        if (!m_tables.contains(name))
            m_order.append(name);
        m_tables[name] = Table{columns, rows};
    }
    /// Makes reading `name` fail after `rowsBefore` rows, as a damaged file would.
    void failTable(const QString &name, int rowsBefore)
    {
        m_failing[name] = rowsBefore;
    }

    QStringList tableNames() const override { return m_order; }

    ado::Error readTable(const QString &name, jet::RowSink &sink) override
    {
        ++reads[name];
        if (!m_tables.contains(name))
            return {ado::E_PROVIDER_FAIL, QStringLiteral("no table %1").arg(name)};
        const Table &table = m_tables[name];
        sink.columns(table.columns);
        int sent = 0;
        for (const QStringList &values : table.rows) {
            if (m_failing.contains(name) && sent == m_failing[name])
                return {ado::E_PROVIDER_FAIL, QStringLiteral("damaged page in %1").arg(name)};
            std::vector<std::string> texts(size_t(table.columns.size()));
            std::vector<jet::Cell> cells(size_t(table.columns.size()));
            for (int i = 0; i < table.columns.size(); ++i)
                fillCell(table.columns[i].type, unescape(values.value(i)), texts[size_t(i)],
                         cells[size_t(i)], values.value(i) == QLatin1String("\\N"));
            sink.row(cells);
            ++sent;
        }
        return {};
    }

    QMap<QString, int> reads;  ///< how often each table was read

private:
    static jet::ColumnType typeOf(const QString &word)
    {
        static const QMap<QString, jet::ColumnType> types{
            {"LONG", jet::ColumnType::Long},       {"INT", jet::ColumnType::Int},
            {"BYTE", jet::ColumnType::Byte},       {"TEXT", jet::ColumnType::Text},
            {"MEMO", jet::ColumnType::Memo},       {"MONEY", jet::ColumnType::Money},
            {"BOOLEAN", jet::ColumnType::Boolean}, {"DOUBLE", jet::ColumnType::Double},
            {"FLOAT", jet::ColumnType::Float},     {"DATE", jet::ColumnType::Date}};
        return types.value(word, jet::ColumnType::Text);
    }

    static QString unescape(const QString &value)
    {
        QString out;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
                const QChar next = value[++i];
                out.append(next == QLatin1Char('t')   ? QChar('\t')
                               : next == QLatin1Char('n') ? QChar('\n')
                               : next == QLatin1Char('r') ? QChar('\r')
                                                          : next);
            } else {
                out.append(value[i]);
            }
        }
        return out;
    }

    static void fillCell(jet::ColumnType type, const QString &value, std::string &text,
                         jet::Cell &cell, bool isNull)
    {
        cell.isNull = isNull;
        if (isNull)
            return;
        switch (type) {
        case jet::ColumnType::Text:
        case jet::ColumnType::Memo:
            text = value.toStdString();
            cell.text = text;
            break;
        case jet::ColumnType::Money:
            cell.integer = std::llround(value.toDouble() * 10000.0);
            break;
        case jet::ColumnType::Double:
        case jet::ColumnType::Float:
        case jet::ColumnType::Date:
            cell.real = value.toDouble();
            break;
        default:
            cell.integer = value.toLongLong();
            break;
        }
    }

    QStringList m_order;
    QMap<QString, Table> m_tables;
    QMap<QString, int> m_failing;
};
