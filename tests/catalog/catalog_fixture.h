#pragma once

#include "connection.h"
#include "script_table_source.h"
#include "test_data.h"

#include <memory>

/// The connection string that names `file` as its data source.
inline QString connectionStringFor(const QString &file)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False;")
        .arg(file);
}

/// A connection to the basic fixture catalog, read through the reader process.
inline std::shared_ptr<ado::Connection> openBasicCatalog()
{
    auto connection = std::make_shared<ado::Connection>();
    const ado::Error error = connection->Open(connectionStringFor(testDataPath("basic.mdb")));
    // Every test that asks for it needs it: stop with the reason rather than crash later.
    if (error)
        qFatal("basic.mdb did not open: %s", qPrintable(error.Description));
    return connection;
}

/// A connection over tables given in the test.
inline std::shared_ptr<ado::Connection> openSource(const ScriptTableSource &source)
{
    auto connection = std::make_shared<ado::Connection>();
    connection->openSource(std::make_unique<ScriptTableSource>(source));
    return connection;
}
