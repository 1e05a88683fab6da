#pragma once

#include "catalog/ado_types/ado.h"
#include "jet/rows_frame.h"
#include "jet/stored_type.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <string_view>
#include <vector>

/// The seam between the Jet file reader and the query engine: a source of whole tables,
/// each delivered as its columns and then its rows in stored order, in runs of rows as
/// they cross from the reader (or one at a time), so a large table streams into the engine
/// without being held twice.
namespace reader_client {

/// The ADO type number that a column type is reported as: the one place the two meet.
int adoType(jet::StoredType type);

/// One value of a row. Which member holds it depends on the column type:
/// Long/Int/Byte/Boolean: `integer` (Boolean 0 or 1); Money: `integer`, the amount
/// times 10,000 (exact, as Jet stores it); Double/Float/Date: `real` (Date as the
/// days since 1899-12-30); Text/Memo: `text`, UTF-8; Numeric: `text`, its exact digits with
/// the column's scale after the point ("-12.3400"); Guid: `text`,
/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; Binary/Ole: `text`, the bytes. Text is valid
/// only during the call.
struct Cell {
    bool isNull = true;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string_view text;
};

/// Receives one table. `columns` comes once, before any `row`; a row has one cell per column.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void columns(const QVector<jet::Column> &columns) = 0;
    /// How many rows the table says it holds, when the source knows (before the first row):
    /// only for showing progress, never trusted as the count.
    virtual void expectRows(std::uint32_t rows) { (void)rows; }
    virtual void row(const std::vector<Cell> &cells) = 0;
    /// A run of rows; unless a sink takes them so, each is given to row() in turn.
    virtual void rows(const jet::RowBatch &batch);
};

/// A catalog file's tables, as the query engine needs them.
class TableSource {
public:
    virtual ~TableSource() = default;
    /// The user tables, in catalog order.
    virtual QStringList tableNames() const = 0;
    /// Streams one table into `sink`. On failure the sink may have seen part of the
    /// table; the error says what went wrong (number and description).
    virtual ado::Error readTable(const QString &name, RowSink &sink) = 0;
    /// The bytes the catalog takes where it is stored (its file's size); 0 when unknown.
    virtual qint64 storedBytes() const { return 0; }
};

}  // namespace reader_client
