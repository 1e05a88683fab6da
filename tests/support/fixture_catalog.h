#pragma once

#include "catalog/shared_state.h"
#include "tests/support/test_data.h"

#include <QString>

/// Opens cnCatalog on a fixture catalog, as start-up does on the real one.
inline bool openFixtureCatalog(const QString &fileName)
{
    auto connection = std::make_shared<ado::Connection>();
    connection->CursorLocation = ado::adUseClient;
    if (connection->Open(catalogFileConnectionString(testDataPath(fileName)), QString(), QString(), ado::adConnectUnspecified))
        return false;
    cnCatalog = connection;
    return true;
}
