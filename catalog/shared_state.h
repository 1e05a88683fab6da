#pragma once

#include "catalog/ado/connection.h"
#include "catalog/ado/recordset.h"

#include <QString>

#include <memory>

/// The application-wide state through which the windows hand a listing to one another.
/// All of it starts empty; the main window's start-up fills the connection and the paths,
/// the commands fill the listing strings, and each opener replaces rsSoftware.

/// The one connection to the catalog; null until start-up creates it.
extern std::shared_ptr<ado::Connection> cnCatalog;
/// The current listing; its current record is the title the detail window shows.
extern std::shared_ptr<ado::Recordset> rsSoftware;
/// The statement and the title of the listing last asked for: written from the request
/// as it is made, never read back to learn what was asked (the request travels as a value).
extern QString strListingSql;
extern QString strListingTitle;
/// The connection string and the application folder it was built from.
extern QString strConnect;
extern QString strAppPath;

/// Puts every shared name back to its empty start (for tests).
void resetSharedState();

/// The connection string for the catalog in `appPath`, joined exactly as the provider expects:
/// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + appPath + "\shareware.mdb;Persist Security Info=False;"
QString catalogConnectionString(const QString &appPath);

/// The connection string for the catalog file `filePath` named by the user, in the same
/// pieces: "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + filePath + ";Persist Security Info=False;".
/// A path that holds ";" or a quote, or starts or ends with a blank, goes in double quotes.
QString catalogFileConnectionString(const QString &filePath);
