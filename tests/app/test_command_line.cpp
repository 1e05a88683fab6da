#include "fake_services.h"
#include "frm_main.h"
#include "shared_state.h"
#include "start_up.h"
#include "test_data.h"

#include <QtTest>
#include <QtWidgets>

// The catalog named on the command line is opened in place of the one beside the program.
class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
    }

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
        QTest::newRow("blanks and letters beyond ASCII") << QStringList{" Ångström ü; 目録.mdb "} << " Ångström ü; 目録.mdb "
                                                         << " Ångström ü; 目録.mdb " << 85;
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
            QVERIFY2(calls[0].prompt.startsWith("-2147467259 : Could not find file '" + expected + "'.\r\n"),
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
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
