#pragma once

#include "shared_state.h"
#include "table_source.h"
#include "test_data.h"

#include <QLocale>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

/// One table "T" held in memory, so the engine meets any content without a catalog file.
/// A null QString is Null. Reading fails after `failAfter` rows, as a damaged page would.
class MemorySource final : public jet::TableSource {
public:
    MemorySource(QVector<jet::Column> columns, QVector<QStringList> rows, int failAfter = -1)
        : m_columns(std::move(columns)), m_rows(std::move(rows)), m_failAfter(failAfter) {}
    QStringList tableNames() const override { return {QStringLiteral("T")}; }
    ado::Error readTable(const QString &, jet::RowSink &sink) override
    {
        sink.columns(m_columns);
        for (int r = 0; r < m_rows.size(); ++r) {
            if (r == m_failAfter)
                return {ado::E_PROVIDER_FAIL, QStringLiteral("damaged page in T")};
            std::vector<std::string> texts(size_t(m_columns.size()));
            std::vector<jet::Cell> cells(texts.size());
            for (int i = 0; i < m_columns.size(); ++i) {
                const jet::ColumnType type = m_columns[i].type;
                jet::Cell &cell = cells[size_t(i)];
                cell.isNull = m_rows[r][i].isNull();
                if (jet::isTextual(type))
                    cell.text = texts[size_t(i)] = m_rows[r][i].toStdString();
                cell.real = m_rows[r][i].toDouble();  // money is held in ten-thousandths
                cell.integer = std::llround(cell.real * (type == jet::ColumnType::Money ? 10000 : 1));
            }
            sink.row(cells);
        }
        return {};
    }

private:
    QVector<jet::Column> m_columns;
    QVector<QStringList> m_rows;
    int m_failAfter;
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
        QVector<jet::Column>{{"ID", jet::ColumnType::Long, 0}, {"Word", jet::ColumnType::Text, 50}},
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

inline void fixLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QStandardPaths::setTestModeEnabled(true);
}
