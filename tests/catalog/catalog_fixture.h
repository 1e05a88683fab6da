#pragma once

#include "catalog/shared_state.h"
#include "catalog/reader_client/table_source.h"
#include "tests/support/test_data.h"

#include <QTest>

#include <cmath>

/// Tables held in memory, so the engine meets any content without a catalog file: by
/// default one table "T". A null QString is Null. Reading fails after `failAfter` rows, as a
/// damaged page would.
class MemorySource final : public reader_client::TableSource {
public:
    struct Table {
        QString name;
        QVector<jet::Column> columns;
        QVector<QStringList> rows;
    };
    MemorySource(QVector<jet::Column> columns, QVector<QStringList> rows, int failAfter = -1)
        : m_tables{{QStringLiteral("T"), std::move(columns), std::move(rows)}}, m_failAfter(failAfter) {}
    explicit MemorySource(QVector<Table> tables) : m_tables(std::move(tables)) {}
    /// The size a file of these tables would have; 0 (unknown) unless set.
    qint64 storedBytes() const override { return m_storedBytes; }
    void setStoredBytes(qint64 bytes) { m_storedBytes = bytes; }
    QStringList tableNames() const override
    {
        QStringList names;
        for (const Table &table : m_tables)
            names << table.name;
        return names;
    }
    ado::Error readTable(const QString &name, reader_client::RowSink &sink) override
    {
        const Table *table = &m_tables.front();
        for (const Table &t : m_tables)
            if (t.name.compare(name, Qt::CaseInsensitive) == 0)
                table = &t;
        const QVector<jet::Column> &columns = table->columns;
        sink.columns(columns);
        for (int r = 0; r < table->rows.size(); ++r) {
            if (r == m_failAfter)
                return {ado::E_PROVIDER_FAIL, QStringLiteral("damaged page in T")};
            std::vector<std::string> texts(size_t(columns.size()));
            std::vector<reader_client::Cell> cells(texts.size());
            for (int i = 0; i < columns.size(); ++i) {
                const jet::StoredType type = columns[i].type;
                const QString &value = table->rows[r][i];
                reader_client::Cell &cell = cells[size_t(i)];
                cell.isNull = value.isNull();
                if (jet::isTextual(type))
                    cell.text = texts[size_t(i)] = value.toStdString();
                cell.real = value.toDouble();  // money is held in ten-thousandths
                cell.integer = std::llround(cell.real * (type == jet::StoredType::Money ? 10000 : 1));
            }
            sink.row(cells);
        }
        return {};
    }

private:
    QVector<Table> m_tables;
    int m_failAfter = -1;
    qint64 m_storedBytes = 0;
};

inline std::shared_ptr<ado::Connection> openSource(std::unique_ptr<MemorySource> source)
{
    auto connection = std::make_shared<ado::Connection>();
    return connection->openSource(std::move(source)) ? nullptr : connection;
}

/// Words in several scripts and letter cases, with a Null and a zero-length one.
inline std::shared_ptr<ado::Connection> openWords(int failAfter = -1)
{
    return openSource(std::make_unique<MemorySource>(
        QVector<jet::Column>{{"ID", jet::StoredType::Long, 0}, {"Word", jet::StoredType::Text, 50}},
        QVector<QStringList>{{"1", "Zebra"}, {"2", "Éclair"}, {"3", "apple"}, {"4", QString()}, {"5", "édith"},
                             {"6", "Ecran"}, {"7", "eclair"}, {"8", "ÇA VA"}, {"9", "Straße"}, {"10", ""}},
        failAfter));
}

inline std::shared_ptr<ado::Connection> openBasicCatalog()
{
    auto connection = std::make_shared<ado::Connection>();
    if (const ado::Error error = connection->Open("Data Source=" + testDataPath("basic.mdb") + ";"))
        qFatal("basic.mdb did not open: %s", qPrintable(error.Description));  // stop with the reason, not a crash later
    return connection;
}

/// The first `count` values of a column, "<null>" for Null.
template <typename ValueAt>
QStringList texts(int count, ValueAt valueAt)
{
    QStringList out;
    for (int row = 0; row < count; ++row)
        out << (valueAt(row).isValid() ? valueAt(row).toString() : QStringLiteral("<null>"));
    return out;
}
