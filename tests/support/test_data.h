#pragma once

#include <QDir>
#include <QString>

/// The fixture catalogs copied into the repository (tests/data). A test program run again
/// over another build of basic.mdb (QUORBIX_TEST_BASIC=basic-jet3.mdb) reads that in its place.
inline QString testDataPath(const QString &name)
{
    const QString basic = qEnvironmentVariable("QUORBIX_TEST_BASIC");
    const bool replaced = name == QLatin1String("basic.mdb") && !basic.isEmpty();
    return QDir(QStringLiteral(QUORBIX_TEST_DATA)).filePath(replaced ? basic : name);
}
