#pragma once

#include <QDir>
#include <QLocale>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

/// The fixture catalogs copied into the repository (tests/data). A test program run again
/// over another build of basic.mdb (QUORBIX_TEST_BASIC=basic-jet3.mdb) reads that in its place.
inline QString testDataPath(const QString &name)
{
    const QString basic = qEnvironmentVariable("QUORBIX_TEST_BASIC");
    const bool replaced = name == QLatin1String("basic.mdb") && !basic.isEmpty();
    return QDir(QStringLiteral(QUORBIX_TEST_DATA)).filePath(replaced ? basic : name);
}

/// The locale every expected number and date is written in; settings kept apart from the user's.
inline void fixLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QStandardPaths::setTestModeEnabled(true);
}

/// The categories of basic.mdb, in the order start-up lists them.
inline const QStringList kBasicCategories{"Business", "Desktop",  "Development", "Utilities", "Games",      "Graphics",
                                          "Internet", "Multimedia", "Security",  "Education", "Empty Shelf"};

/// Ends a test that needs what only Linux has here (a shell script standing in for a program,
/// /proc, the system-call filter), saying what, when the test program runs on Windows.
#ifdef Q_OS_WIN
#define QUORBIX_LINUX_ONLY(what) QSKIP("on Linux only: " what)
#else
#define QUORBIX_LINUX_ONLY(what) (void)0
#endif
