#pragma once

#include <QDir>
#include <QString>

/// The fixture catalogs copied into the repository (tests/data).
inline QString testDataPath(const QString &name)
{
    return QDir(QStringLiteral(QUORBIX_TEST_DATA)).filePath(name);
}
