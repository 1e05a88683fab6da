#include "tests/support/catalog_tool.h"
#include "tests/support/installed_program.h"
#include "tests/support/test_data.h"

#include <QtTest>

class TestInstalledProgram : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

    QString installed(const QString &path) const { return QDir(prefix.path()).filePath(path); }

private slots:
    void initTestCase()
    {
        fixLocale();
        const ToolRun install = runTool(QUORBIX_CMAKE_COMMAND, {"--install", QUORBIX_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY2(install.code == 0, install.out + install.failure);
    }

    // The program, its reader and its catalog are proved by starting the launcher below.
    void shouldInstallTheDesktopEntryAndIcons()
    {
        for (const char *path : {"/applications/quorbix.desktop", "/icons/hicolor/32x32/apps/quorbix.png",
                                 "/icons/hicolor/scalable/apps/quorbix.svg", "/mime/packages/quorbix.xml"})
            QVERIFY2(QFileInfo::exists(installed(QUORBIX_INSTALL_DATADIR + QString(path))), path);
    }

    void shouldInstallTheCatalogToolsBesideTheProgram()
    {
        const QString built = QDir(prefix.path()).filePath(QStringLiteral("built.mdb"));
        QCOMPARE(runTool(installed(QUORBIX_INSTALL_LIBDIR "/catalog-build"), {testDataPath(QStringLiteral("basic.txt")), built}).failure,
                 QByteArray());
        const ToolRun dump = runTool(installed(QUORBIX_INSTALL_LIBDIR "/catalog-dump"), {built});
        QVERIFY2(dump.code == 0 && dump.out.startsWith("TABLE Category\n"), dump.failure);
    }

    void shouldFindItsCatalogBesideItsRealExecutable_data()
    {
        QTest::addColumn<bool>("catalogPresent");
        QTest::newRow("catalog installed") << true;
        QTest::newRow("catalog removed") << false;
    }
    void shouldFindItsCatalogBesideItsRealExecutable()
    {
        QFETCH(bool, catalogPresent);
        if (!canShowWindows())
            QSKIP(kWindowToolsMissing);
        // Started from another folder: the catalog is found beside the program, not there.
        const QString windows = windowsShownWithCatalog(installed(QUORBIX_INSTALL_BINDIR "/quorbix"),
                                                        installed(QUORBIX_INSTALL_LIBDIR "/shareware.mdb"), catalogPresent);
        QVERIFY2(showsOnly(windows, catalogPresent), qPrintable(windows));
    }
};

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "test_installed_program.moc"
