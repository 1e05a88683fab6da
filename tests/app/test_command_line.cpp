#include "app/start_up.h"
#include "catalog/shared_state.h"
#include "main_window/frm_main.h"
#include "tests/support/catalog_tool.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_data.h"

#include <QtTest>
#include <QtWidgets>

// The catalog named on the command line is opened in place of the one beside the program.
class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fixLocale(); }

    void shouldOpenTheCatalogNamedOnTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("placed");   // where the named catalog is put, under the current folder; "" for none
        QTest::addColumn<QString>("opened");   // the file opened, under the current folder ("<app>": the one beside the program)
        QTest::addColumn<int>("categories");   // -1: the start-up prompt is shown
        QTest::newRow("no argument: beside the program") << QStringList{} << "" << "<app>" << 11;
        QTest::newRow("empty argument") << QStringList{""} << "" << "<app>" << 11;
        QTest::newRow("relative to the current folder") << QStringList{"cats/many.mdb"} << "cats/many.mdb" << "cats/many.mdb" << 85;
        QTest::newRow("relative with dot segments") << QStringList{"./cats/../many.mdb"} << "many.mdb" << "many.mdb" << 85;
        QTest::newRow("absolute") << QStringList{"<abs>/abs/many.mdb"} << "abs/many.mdb" << "abs/many.mdb" << 85;
        QTest::newRow("an .accdb file") << QStringList{"Büro Kataloge/katalog 2019.accdb"} << "Büro Kataloge/katalog 2019.accdb"
                                        << "Büro Kataloge/katalog 2019.accdb" << 11;
        QTest::newRow("an Access 97 file") << QStringList{"Alte Kataloge/katalog 97.mdb"} << "Alte Kataloge/katalog 97.mdb"
                                           << "Alte Kataloge/katalog 97.mdb" << 11;
#ifdef Q_OS_WIN
        const QString odd = " Ångström ü; 目録.mdb";  // Windows drops a name's trailing blanks
#else
        const QString odd = " Ångström ü; 目録.mdb ";
#endif
        QTest::newRow("blanks and letters beyond ASCII") << QStringList{odd} << odd << odd << 85;
        QTest::newRow("a name that starts with a dash") << QStringList{"--", "-odd.mdb"} << "-odd.mdb" << "-odd.mdb" << 85;
        QTest::newRow("only the first name counts") << QStringList{"first.mdb", "second.mdb"} << "first.mdb" << "first.mdb" << 85;
        QTest::newRow("missing: the prompt names it") << QStringList{"nowhere/none.mdb"} << "" << "nowhere/none.mdb" << -1;
    }
    void shouldOpenTheCatalogNamedOnTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, placed);
        QFETCH(QString, opened);
        QFETCH(int, categories);
        QTemporaryDir appDir, current;
        QVERIFY(QFile::copy(testDataPath("basic.mdb"), appDir.filePath("shareware.mdb")));
        const QString catalog = placed.endsWith(".accdb") ? "basic-ace17.accdb"
                                : placed.endsWith(" 97.mdb") ? "basic-jet3.mdb" : "many-categories.mdb";
        QVERIFY(placed.isEmpty() || (QDir(current.path()).mkpath(QFileInfo(current.filePath(placed)).path())
                                     && QFile::copy(testDataPath(catalog), current.filePath(placed))));
        arguments.replaceInStrings("<abs>", current.path());

        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(current.path()));
        const QString named = catalogFileArgument(arguments, QDir::currentPath());
        QVERIFY(QDir::setCurrent(before));
        const QString expected = opened == "<app>" ? QString() : current.filePath(opened);
        QCOMPARE(named, expected);

        resetSharedState();
        FakeServices fakes;
        const auto window = startMainWindow(fakes.services, appDir.path(), named);
        const auto &calls = fakes.messages.calls;
        if (categories < 0) {
            QCOMPARE(calls.size(), 1);
            QVERIFY2(calls[0].prompt.startsWith("-2147467259 : Could not find file '" + QDir::toNativeSeparators(expected) + "'.\r\n"),
                     qPrintable(calls[0].prompt));
        } else {
            QVERIFY2(calls.isEmpty(), qPrintable(calls.value(0).prompt));
            QCOMPARE(window->lblCategoryCount(), categories);
        }
        QCOMPARE(cnCatalog->dataSourcePath(), expected.isEmpty() ? appDir.filePath("shareware.mdb") : expected);
        QCOMPARE(strAppPath, appDir.path());
        QCOMPARE(strConnect, expected.isEmpty() ? catalogConnectionString(appDir.path()) : catalogFileConnectionString(expected));
        resetSharedState();
    }

    // The command line as read, and as the program itself answers it: --help and --version
    // with no display to reach, and a command line it cannot follow refused with one line and
    // status 2, before it looks for a display.
    void shouldReadTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("catalog");  // Run: the file named, under the current folder ("" for none)
        QTest::addColumn<QString>("text");     // what the text starts with
        const int run = int(CommandLine::Action::Run), help = int(CommandLine::Action::Help),
                  version = int(CommandLine::Action::Version), refuse = int(CommandLine::Action::Refuse);
        QTest::newRow("nothing") << QStringList{} << run << "" << "";
        QTest::newRow("a catalog") << QStringList{"x.mdb"} << run << "x.mdb" << "";
        QTest::newRow("--help") << QStringList{"--help"} << help << "" << "Usage: quorbix [CATALOG]\n";
        QTest::newRow("-h") << QStringList{"-h"} << help << "" << "Usage: quorbix [CATALOG]\n";
        QTest::newRow("--version") << QStringList{"--version"} << version << "" << "quorbix " QUORBIX_VERSION "\n";
        QTest::newRow("help after a name") << QStringList{"x.mdb", "--help"} << help << "" << "Usage:";
        QTest::newRow("a name after --") << QStringList{"--", "--help"} << run << "--help" << "";
        QTest::newRow("a lone dash is a name") << QStringList{"-"} << run << "-" << "";
        QTest::newRow("an empty argument beside a name") << QStringList{"", "x.mdb"} << run << "x.mdb" << "";
        QTest::newRow("Qt's option and its value") << QStringList{"-platform", "offscreen", "x.mdb"} << run << "x.mdb" << "";
        QTest::newRow("Qt's style with =") << QStringList{"--style=Fusion", "x.mdb"} << run << "x.mdb" << "";
        QTest::newRow("Qt takes no = for the platform") << QStringList{"--platform=offscreen"} << refuse << ""
                                                        << "quorbix: unknown option '--platform=offscreen'";
        QTest::newRow("Qt's icon option") << QStringList{"-icon", "q.png", "x.mdb"} << run << "x.mdb" << "";
        QTest::newRow("Qt's flag") << QStringList{"x.mdb", "-reverse"} << run << "x.mdb" << "";
        QTest::newRow("an unknown option") << QStringList{"-x", "x.mdb"} << refuse << ""
                                           << "quorbix: unknown option '-x'; see 'quorbix --help'.";
        QTest::newRow("an unknown long option") << QStringList{"--catalog=x.mdb"} << refuse << ""
                                                << "quorbix: unknown option '--catalog=x.mdb'";
        QTest::newRow("a second catalog") << QStringList{"a.mdb", "b.mdb"} << refuse << ""
                                          << "quorbix: one catalog at a time, not 'a.mdb' and 'b.mdb'; see 'quorbix --help'.";
        QTest::newRow("a second catalog after --") << QStringList{"a.mdb", "--", "-b.mdb"} << refuse << ""
                                                   << "quorbix: one catalog at a time";
    }
    void shouldReadTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, catalog);
        QFETCH(QString, text);
        const QString current = QStringLiteral("/somewhere/current");
        const CommandLine line = readCommandLine(arguments, current);
        QCOMPARE(int(line.action), action);
        QVERIFY2(text.isEmpty() ? line.text.isEmpty() : line.text.startsWith(text), qPrintable(line.text));
        QCOMPARE(line.catalogFile, catalog.isEmpty() ? QString() : current + "/" + catalog);
        if (line.action == CommandLine::Action::Run)
            return;
        const bool refused = line.action == CommandLine::Action::Refuse;
        QVERIFY(!refused || !line.text.contains('\n'));  // one line
        const QString program = QCoreApplication::applicationDirPath() + "/quorbix";
        if (!QFileInfo(program).isExecutable())
            QSKIP("the program is not built beside the test");
        const ToolRun quorbix = runTool(program, arguments, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        QCOMPARE(quorbix.code, refused ? kUsageExitStatus : 0);
        QCOMPARE(QString::fromLocal8Bit(quorbix.out), refused ? QString() : line.text);
        QCOMPARE(QString::fromLocal8Bit(quorbix.err), refused ? line.text + "\n" : QString());
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
