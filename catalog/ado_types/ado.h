#pragma once

#include <QString>
#include <QVariant>

/// The vocabulary of the data-access layer: the numbers and errors that the windows
/// test, named as the data-access components name them.
namespace ado {

/// Field types, as ADO type numbers.
enum DataType : int {
    adEmpty = 0,
    adSmallInt = 2,        ///< Jet INT (16-bit)
    adInteger = 3,         ///< Jet LONG (32-bit)
    adSingle = 4,          ///< Jet FLOAT
    adDouble = 5,          ///< Jet DOUBLE
    adCurrency = 6,        ///< Jet MONEY
    adDate = 7,            ///< Jet DATE
    adBoolean = 11,        ///< Jet BOOLEAN (Yes/No)
    adUnsignedTinyInt = 17,///< Jet BYTE
    adBigInt = 20,         ///< Large Number (64-bit)
    adGUID = 72,           ///< Jet GUID (replication ID)
    adBinary = 128,        ///< Jet BINARY
    adNumeric = 131,       ///< Jet NUMERIC (decimal)
    adDBTimeStamp = 135,   ///< Date/Time Extended
    adVarWChar = 202,      ///< Jet TEXT
    adLongVarWChar = 203,  ///< Jet MEMO (long text)
    adLongVarBinary = 205, ///< Jet OLE object
};

enum CursorLocationEnum : int { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum : int { adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockTypeEnum : int { adLockUnspecified = -1, adLockReadOnly = 1 };
enum CommandTypeEnum : int { adCmdUnspecified = -1, adCmdText = 1 };
enum ConnectOptionEnum : int { adConnectUnspecified = -1 };
enum SearchDirectionEnum : int { adSearchBackward = -1, adSearchForward = 1 };
enum ExecuteOptionEnum : int { adOptionUnspecified = -1 };

/// Error numbers the layer reports.
enum ErrorNumber : qint32 {
    /// The provider's generic failure (0x80004005): missing file, unknown or damaged
    /// database, a statement the engine refuses.
    E_PROVIDER_FAIL = -2147467259,
    /// Operation is not allowed when the object is closed.
    adErrObjectClosed = 3704,
    /// Either BOF or EOF is True, or the current record has been deleted.
    adErrNoCurrentRecord = 3021,
    /// Item cannot be found in the collection (an unknown field name or position).
    adErrItemNotFound = 3265,
    /// Arguments are of the wrong type, out of range, or in conflict (a refused Sort/Filter/Find).
    adErrInvalidArgument = 3001,
};

/// The outcome of an operation: Number 0 is success. Converts to true on failure,
/// so `if (auto err = rs.Open(...))` reads as "if it failed".
struct Error {
    qint32 Number = 0;
    QString Description;

    explicit operator bool() const { return Number != 0; }
    static Error none() { return {}; }
};

/// A field value: an invalid QVariant is Null, distinct from a zero-length QString.
/// Text and GUID are QString, LONG/INT/BYTE int, MONEY/NUMERIC/DOUBLE/FLOAT double,
/// BOOLEAN bool, DATE QDateTime, BINARY/OLE QByteArray.
inline bool isNull(const QVariant &value) { return !value.isValid(); }

/// A field of an open recordset, in query order.
struct Field {
    QString Name;
    int Type = adEmpty;  ///< a DataType
};

}  // namespace ado
