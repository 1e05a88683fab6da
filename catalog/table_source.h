#pragma once

#include "ado.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <string_view>
#include <vector>

/// The seam between the Jet file reader and the query engine: a source of whole tables,
/// each delivered as its columns and then its rows in stored order, one row at a time, so
/// a 100,000-row table streams into the engine without being held twice.
namespace jet {

/// Jet column types, with the words of the table script format; numbered as the reader
/// protocol numbers them.
enum class ColumnType { Long, Int, Byte, Text, Memo, Money, Boolean, Double, Float, Date, Numeric, Guid, Binary, Ole };

/// The ADO type number that a Jet column type is reported as.
int adoType(ColumnType type);
/// The table script word: LONG, INT, BYTE, TEXT, MEMO, MONEY, BOOLEAN, DOUBLE, FLOAT, DATE,
/// NUMERIC, GUID, BINARY, OLE.
const char *scriptWord(ColumnType type);

struct Column {
    QString name;
    ColumnType type = ColumnType::Text;
    int length = 0;  ///< declared length in characters for TEXT, in bytes for BINARY, 0 otherwise
    bool autoNumber = false;  ///< a LONG column that the database numbers itself
    int precision = 0;  ///< NUMERIC: the digits it holds
    int scale = 0;      ///< NUMERIC: the digits after the point
    int keyPosition = 0;  ///< 1-based place in the table's primary key; 0 outside it
};

/// True for the types whose cells are `text`.
bool isTextual(ColumnType type);

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
    virtual void columns(const QVector<Column> &columns) = 0;
    /// How many rows the table says it holds, when the source knows (before the first row):
    /// only for showing progress, never trusted as the count.
    virtual void expectRows(std::uint32_t rows) { (void)rows; }
    virtual void row(const std::vector<Cell> &cells) = 0;
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
};

}  // namespace jet
