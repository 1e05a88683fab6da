#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace {

const QString kMainWindowTitle = QStringLiteral("Vantarel ver 2.0");
const QString kPromptTitle = QStringLiteral("Confirmation Message");

// Starts `program` on a virtual X display from folder `workingDir`, waits until one of the
// program's windows is up, and returns the map state of the main window and of the prompt
// ("IsViewable" when shown), one "title: state" line each.
QString windowsShownBy(const QString &program, const QString &workingDir)
{
    const QString script = QStringLiteral(
        "state() { xwininfo -name \"$1\" 2>/dev/null | sed -n 's/.*Map State: //p'; }\n"
        "\"$0\" & pid=$!\n"
        "for i in $(seq 100); do\n"
        "  sleep 0.1\n"
        "  [ \"$(state '%1')\" = IsViewable ] || [ \"$(state '%2')\" = IsViewable ] && break\n"
        "done\n"
        "sleep 0.5\n"
        "echo \"%1: $(state '%1')\"\n"
        "echo \"%2: $(state '%2')\"\n"
        "kill $pid\n").arg(kMainWindowTitle, kPromptTitle);
    QProcess run;
    run.setWorkingDirectory(workingDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    run.setProcessEnvironment(env);
    run.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"),
                                           QStringLiteral("-screen 0 1024x768x24"),
                                           QStringLiteral("sh"), QStringLiteral("-c"), script, program});
    if (!run.waitForFinished(60000))
        run.kill();
    return QString::fromLocal8Bit(run.readAllStandardOutput());
}

}  // namespace

class TestInstalledProgram : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

    QString installed(const QString &path) const { return QDir(prefix.path()).filePath(path); }
    QString programFolder() const { return installed(QStringLiteral(QUORBIX_INSTALL_LIBDIR)); }
    QString launcher() const { return installed(QStringLiteral(QUORBIX_INSTALL_BINDIR "/quorbix")); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(prefix.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(QUORBIX_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(QUORBIX_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void shouldInstallIntoOneProgramFolderWithALauncher_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        const QString lib = QStringLiteral(QUORBIX_INSTALL_LIBDIR "/");
        const QString share = QStringLiteral(QUORBIX_INSTALL_DATADIR "/");
        QTest::newRow("program") << lib + "quorbix" << true;
        QTest::newRow("reader process") << lib + "quorbix-reader" << true;
        QTest::newRow("demonstration catalog") << lib + "shareware.mdb" << false;
        QTest::newRow("launcher") << QStringLiteral(QUORBIX_INSTALL_BINDIR "/quorbix") << true;
        QTest::newRow("desktop entry") << share + "applications/quorbix.desktop" << false;
        QTest::newRow("icon 16") << share + "icons/hicolor/16x16/apps/quorbix.png" << false;
        QTest::newRow("icon 32") << share + "icons/hicolor/32x32/apps/quorbix.png" << false;
        QTest::newRow("icon 256") << share + "icons/hicolor/256x256/apps/quorbix.png" << false;
        QTest::newRow("icon scalable") << share + "icons/hicolor/scalable/apps/quorbix.svg" << false;
    }
    void shouldInstallIntoOneProgramFolderWithALauncher()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo info(installed(path));
        QVERIFY2(info.exists(), qPrintable(info.filePath()));
        QCOMPARE(info.isExecutable(), executable);
    }

    void shouldLaunchTheProgramInItsFolder()
    {
        const QFileInfo link(launcher());
        QVERIFY(link.isSymLink());
        QCOMPARE(QFileInfo(link.canonicalFilePath()).canonicalPath(), QFileInfo(programFolder()).canonicalFilePath());
        // Relative, so that the installed tree can be moved (or packaged) as a whole.
        QVERIFY(std::filesystem::read_symlink(launcher().toStdString()).is_relative());
    }

    void shouldDescribeTheProgramToTheDesktop()
    {
        QSettings entry(installed(QStringLiteral(QUORBIX_INSTALL_DATADIR "/applications/quorbix.desktop")),
                        QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(), QStringLiteral("Quorbix"));
        QCOMPARE(entry.value(QStringLiteral("Exec")).toString(), QStringLiteral("quorbix"));
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), QStringLiteral("quorbix"));
    }

    void shouldFindItsCatalogBesideItsRealExecutable_data()
    {
        QTest::addColumn<bool>("catalogPresent");
        QTest::addColumn<QString>("expectedWindow");
        QTest::addColumn<QString>("absentWindow");
        QTest::newRow("catalog installed") << true << kMainWindowTitle << kPromptTitle;
        QTest::newRow("catalog removed") << false << kPromptTitle << kMainWindowTitle;
    }
    void shouldFindItsCatalogBesideItsRealExecutable()
    {
        QFETCH(bool, catalogPresent);
        QFETCH(QString, expectedWindow);
        QFETCH(QString, absentWindow);
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty())
            QSKIP("needs xvfb-run and xwininfo (packages xvfb and x11-utils)");

        const QString catalog = QDir(programFolder()).filePath(QStringLiteral("shareware.mdb"));
        const QString aside = catalog + QStringLiteral(".aside");
        if (!catalogPresent)
            QVERIFY(QFile::rename(catalog, aside));
        // Started from another folder: the catalog is found beside the program, not here.
        QTemporaryDir elsewhere;
        const QString windows = windowsShownBy(launcher(), elsewhere.path());
        if (!catalogPresent)
            QVERIFY(QFile::rename(aside, catalog));

        QVERIFY2(windows.contains(expectedWindow + QStringLiteral(": IsViewable")), qPrintable(windows));
        QVERIFY2(!windows.contains(absentWindow + QStringLiteral(": IsViewable")), qPrintable(windows));
    }
};

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "test_installed_program.moc"
