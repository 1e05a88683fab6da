#include <QtTest>

namespace {

const QString kMainWindowTitle = QStringLiteral("Vantarel ver 2.0");
const QString kPromptTitle = QStringLiteral("Confirmation Message");

// Starts `program` from `workingDir` on a virtual X display, waits for one of its windows and
// prints the map state of the main window and of the prompt ("IsViewable" when shown).
QString windowsShownBy(const QString &program, const QString &workingDir)
{
    const QString script = QStringLiteral(
        "unset QT_QPA_PLATFORM; state() { xwininfo -name \"$1\" 2>/dev/null | sed -n 's/.*Map State: //p'; }\n"
        "\"$0\" & pid=$!\n"
        "for i in $(seq 100); do sleep 0.1\n"
        "  [ \"$(state '%1')\" = IsViewable ] || [ \"$(state '%2')\" = IsViewable ] && break; done\n"
        "sleep 0.5; echo \"%1: $(state '%1')\"; echo \"%2: $(state '%2')\"; kill $pid\n")
        .arg(kMainWindowTitle, kPromptTitle);
    QProcess run;
    run.setWorkingDirectory(workingDir);
    run.start("xvfb-run", {"-a", "-s", "-screen 0 1024x768x24", "sh", "-c", script, program});
    if (!run.waitForFinished(60000))
        run.kill();
    return QString::fromLocal8Bit(run.readAllStandardOutput());
}

}  // namespace

class TestInstalledProgram : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

    QString installed(const QString &path) const { return QDir(prefix.path()).filePath(path); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QUORBIX_CMAKE_COMMAND, {"--install", QUORBIX_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY2(install.waitForFinished(120000) && install.exitCode() == 0, install.readAll().constData());
    }

    // The program, its reader and its catalog are proved by starting the launcher below.
    void shouldInstallTheDesktopEntryAndIcons()
    {
        for (const char *path : {"/applications/quorbix.desktop", "/icons/hicolor/32x32/apps/quorbix.png",
                                 "/icons/hicolor/scalable/apps/quorbix.svg"})
            QVERIFY2(QFileInfo::exists(installed(QUORBIX_INSTALL_DATADIR + QString(path))), path);
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
        if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xwininfo").isEmpty())
            QSKIP("needs xvfb-run and xwininfo (packages xvfb and x11-utils)");
        const QString catalog = installed(QStringLiteral(QUORBIX_INSTALL_LIBDIR "/shareware.mdb"));
        QVERIFY(catalogPresent || QFile::rename(catalog, catalog + ".aside"));
        // Started from another folder: the catalog is found beside the program, not here.
        QTemporaryDir elsewhere;
        const QString windows = windowsShownBy(installed(QUORBIX_INSTALL_BINDIR "/quorbix"), elsewhere.path());
        QVERIFY(catalogPresent || QFile::rename(catalog + ".aside", catalog));
        const QString main = kMainWindowTitle + ": IsViewable", prompt = kPromptTitle + ": IsViewable";
        QVERIFY2(windows.contains(catalogPresent ? main : prompt) && !windows.contains(catalogPresent ? prompt : main),
                 qPrintable(windows));
    }
};

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "test_installed_program.moc"
