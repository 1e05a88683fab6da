#pragma once

#include "connection.h"
#include "script_table_source.h"
#include "test_data.h"

#include <memory>

/// A connection to the basic fixture catalog.
inline std::shared_ptr<ado::Connection> openBasicCatalog()
{
    auto connection = std::make_shared<ado::Connection>();
    connection->openSource(
        std::make_unique<ScriptTableSource>(ScriptTableSource::fromFile(testDataPath("basic.txt"))),
        testDataPath("basic.mdb"));
    return connection;
}

/// A connection over tables given in the test.
inline std::shared_ptr<ado::Connection> openSource(const ScriptTableSource &source)
{
    auto connection = std::make_shared<ado::Connection>();
    connection->openSource(std::make_unique<ScriptTableSource>(source));
    return connection;
}
