#pragma once

#include "catalog/ado_types/ado.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace engine {
class ResultRows;
}
namespace criteria {
class Predicate;
struct FieldSearch;
}  // namespace criteria
namespace listing {
class Request;
}

namespace ado {

class Connection;

/// A client-side, static, read-only recordset. Open runs the statement once and keeps its
/// rows; Sort and Filter then reorder and narrow those rows without going back to the
/// engine; Requery runs the statement again. The current position is shared with the grid
/// that shows the recordset (rowsReset / currentChanged).
///
/// Positions count from 0 over the rows that pass the filter, in sort order.
/// Position == RecordCount() is EOF.
class Recordset : public QObject {
    Q_OBJECT
public:
    explicit Recordset(QObject *parent = nullptr);
    ~Recordset() override;

    // Properties set before the argument-less Open (the start-up table profile).
    int CursorLocation = adUseServer;
    int CursorType = adOpenForwardOnly;
    int LockType = adLockReadOnly;
    QString Source;
    std::shared_ptr<Connection> ActiveConnection;

    /// Opens with the properties above.
    Error Open();
    /// Opens `source` over `connection` (the listing profile passes adOpenStatic,
    /// adLockReadOnly, adCmdText). A statement the engine refuses gives E_PROVIDER_FAIL
    /// with the engine's description; a closed or null connection fails too. After a failed
    /// Open the recordset is closed, whatever it held before.
    Error Open(const QString &source, std::shared_ptr<Connection> connection, int cursorType,
               int lockType, int options);
    /// Opens the listing `request` over `connection`, as Open does its statement (Source is
    /// request.sql()); the listing runs straight over the held titles where it can.
    Error Open(const listing::Request &request, std::shared_ptr<Connection> connection, int cursorType,
               int lockType, int options);
    bool isOpen() const;
    /// The listing last opened, whether or not it opened; null after a statement.
    const listing::Request *request() const;
    /// Releases the rows. Closing a closed recordset fails with adErrObjectClosed.
    Error Close();

    bool Eof() const;  ///< true once the position is past the last row (or no rows, or closed)
    bool Bof() const;
    void MoveFirst();
    void MoveNext();
    void MoveLast();

    /// Finds, from the current row on (after skipping `skipRecords`), the first row that
    /// meets `criteria` ("CategoryID = 4", same syntax as one Filter comparison); leaves
    /// the position at EOF when none does.
    Error Find(const QString &criteria, int skipRecords = 0, int direction = adSearchForward);

    int fieldCount() const;                    ///< 0 when closed
    Field field(int index) const;              ///< Name and Type; empty Field when out of range
    int fieldIndex(const QString &name) const; ///< case-insensitive; -1 when unknown

    /// The current row's value (invalid QVariant = Null). `ok` is false when there is no
    /// current record or no such field.
    QVariant value(const QString &fieldName, bool *ok = nullptr) const;
    QVariant value(int fieldIndex, bool *ok = nullptr) const;
    /// The value at `position` (0 .. RecordCount()-1) without moving: what a grid reads.
    QVariant valueAt(int position, int fieldIndex) const;

    /// The exact number of rows that pass the filter; -1 when closed.
    int RecordCount() const;

    int AbsolutePosition() const;           ///< the current position (RecordCount() at EOF; -1 when closed)
    void setAbsolutePosition(int position); ///< clamped to 0 .. RecordCount()

    /// "Price DESC", "Name ASC", "[Company Name] ASC, Price DESC"; "" removes the sort.
    /// Text orders without regard to letter case and with accented letters beside their
    /// base letter; Null first ascending. An expression it cannot use is refused
    /// (adErrInvalidArgument) and the sort in force stays.
    Error setSort(const QString &expression);
    QString Sort() const;
    /// "Name LIKE 'zip*'", "[Company Name] LIKE '*o''malley*'", "CategoryID = 4",
    /// comparisons joined by AND/OR; "" removes the filter. "*" and "%" match any run of
    /// characters; text matches without regard to letter case. A refused expression
    /// (adErrInvalidArgument) leaves the filter in force. The position moves to the first row.
    Error setFilter(const QString &expression);
    /// The same for a search of one field, given as what it is rather than as text; Filter
    /// then reads as its text.
    Error setFilter(const criteria::FieldSearch &search);
    QString Filter() const;
    /// Gets field `fieldIndex` ready to be filtered on, on a second thread, so that the first
    /// letter typed into a search of a large listing does not wait for it.
    void prepareFilter(int fieldIndex);
    /// Runs the statement (or the listing) again; the sort in force is kept, the filter too.
    Error Requery(int options = adOptionUnspecified);

signals:
    /// The rows changed as a whole: open, close, sort, filter or requery.
    void rowsReset();
    /// The current position changed (not sent for the moves inside rowsReset).
    void currentChanged(int position);

private:
    Error open(const QString &source, const listing::Request *request, std::shared_ptr<Connection> connection,
               int cursorType, int lockType, int options);

    /// Filters by the predicate `make` gives, with the text Filter then reads.
    Error filterBy(const std::function<Error(std::unique_ptr<criteria::Predicate> &, QString &)> &make);

    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace ado
