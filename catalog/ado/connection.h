#pragma once

#include "catalog/ado_types/ado.h"
#include "catalog/ado_types/progress.h"

#include <QString>

#include <memory>

namespace engine {
class QueryEngine;
}
namespace reader_client {
class TableSource;
}

namespace ado {

/// The connection to the catalog file, after the Jet provider's connection: the file is
/// named by the connection string's Data Source and read through the reader process.
/// Tables are loaded into the query engine when a statement first uses them, so opening
/// the connection and reading the start-up tables never pays for the Software table.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    int CursorLocation = adUseServer;  ///< the caller sets adUseClient before Open

    /// Opens the file named by "Data Source=..." in `connectionString` ("\" counts as a
    /// path separator there; a doubled separator is harmless). Fails in the provider's
    /// manner: a missing file gives E_PROVIDER_FAIL and "Could not find file '<path>'.".
    Error Open(const QString &connectionString, const QString &userId = QString(),
               const QString &password = QString(), int options = adConnectUnspecified);
    /// Opens over a table source that is already open, in place of a file (tests, tools);
    /// `path` is what dataSourcePath() then reports.
    Error openSource(std::unique_ptr<reader_client::TableSource> source, const QString &path = QString());
    bool isOpen() const;
    /// The file path taken from the connection string (empty before Open).
    QString dataSourcePath() const;

    /// The query engine behind this connection (null before a successful Open).
    engine::QueryEngine *engine() const;

    /// Sets (or with an empty function removes) what is told how far the statements of this
    /// connection have come, for this catalog and any opened later.
    void setProgressReport(ProgressReport report);

    /// The file that the Data Source of `connectionString` names, as a local path: "\" and
    /// "/" both separate, and a run of separators counts as one ("/opt/q/\\shareware.mdb"
    /// names /opt/q/shareware.mdb). A value in quotes may hold ";". Empty when the string has
    /// no Data Source.
    static QString dataSourceFromConnectionString(const QString &connectionString);

private:
    void indexListingOrder();

    std::unique_ptr<engine::QueryEngine> m_engine;
    ProgressReport m_progress;
    QString m_path;
};

}  // namespace ado
