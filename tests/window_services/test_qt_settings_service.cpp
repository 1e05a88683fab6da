#include "qt_settings_service.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

const char *const kReadArgument = "--read-setting";

// The child half of the new-process case: reads one setting from an INI store and prints it.
int readSettingInChild(char **argv)
{
    QtSettingsService store(QString::fromLocal8Bit(argv[2]));
    QTextStream(stdout) << store.GetSetting(QString::fromUtf8(argv[3]), QString::fromUtf8(argv[4]),
                                            QString::fromUtf8(argv[5]), QStringLiteral("<absent>"));
    return 0;
}

}  // namespace

class TestQtSettingsService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void shouldReadBackWhatItStored_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("whole number") << QStringLiteral("6800");
        QTest::newRow("fraction") << QStringLiteral("7123.5");
        QTest::newRow("empty text") << QString();
        QTest::newRow("not a number") << QStringLiteral("tall");
        QTest::newRow("list-like text") << QStringLiteral("6800, 7200");
        QTest::newRow("non-ASCII text") << QStringLiteral("Größe ½");
    }
    void shouldReadBackWhatItStored()
    {
        QFETCH(QString, value);
        const QString file = m_dir.filePath(QStringLiteral("roundtrip.ini"));
        QtSettingsService(file).SaveSetting(QStringLiteral("Quorbix"), QStringLiteral("Options"),
                                            QStringLiteral("ScreenHeight"), value);
        QtSettingsService reader(file);
        QCOMPARE(reader.GetSetting(QStringLiteral("Quorbix"), QStringLiteral("Options"),
                                   QStringLiteral("ScreenHeight"), QStringLiteral("6800!")),
                 value);
    }

    void shouldAnswerTheDefaultForWhatWasNeverStored_data()
    {
        QTest::addColumn<QString>("appName");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::newRow("other key") << "Quorbix" << "Options" << "ScreenWidth";
        QTest::newRow("other section") << "Quorbix" << "Layout" << "ScreenHeight";
        QTest::newRow("other application") << "Other" << "Options" << "ScreenHeight";
        QTest::newRow("section as key") << "Quorbix" << "" << "Options";
    }
    void shouldAnswerTheDefaultForWhatWasNeverStored()
    {
        QFETCH(QString, appName);
        QFETCH(QString, section);
        QFETCH(QString, key);
        const QString file = m_dir.filePath(QStringLiteral("defaults.ini"));
        QtSettingsService store(file);
        store.SaveSetting(QStringLiteral("Quorbix"), QStringLiteral("Options"),
                          QStringLiteral("ScreenHeight"), QStringLiteral("7000"));
        QCOMPARE(store.GetSetting(appName, section, key, QStringLiteral("10480")),
                 QStringLiteral("10480"));
    }

    void shouldBeReadByAnotherProcess()
    {
        const QString file = m_dir.filePath(QStringLiteral("shared.ini"));
        QtSettingsService(file).SaveSetting(QStringLiteral("Quorbix"), QStringLiteral("Options"),
                                            QStringLiteral("ScreenWidth"), QStringLiteral("12345"));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kReadArgument), file, QStringLiteral("Quorbix"),
                     QStringLiteral("Options"), QStringLiteral("ScreenWidth")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QStringLiteral("12345"));
    }

    void shouldKeepThePlatformStoreOutOfTheUsersSettingsInTestMode()
    {
        // A name of its own, so that test runs side by side do not share a file.
        const QString appName =
            QStringLiteral("QuorbixSettingsTest%1").arg(QCoreApplication::applicationPid());
        QtSettingsService store;
        store.SaveSetting(appName, QStringLiteral("Options"), QStringLiteral("ScreenHeight"),
                          QStringLiteral("7200"));
        QCOMPARE(store.GetSetting(appName, QStringLiteral("Options"), QStringLiteral("ScreenHeight"),
                                  QString()),
                 QStringLiteral("7200"));
#ifndef Q_OS_WIN
        const QString configHome =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QFileInfo file(QDir(configHome).filePath(appName + QLatin1Char('/') + appName
                                                       + QStringLiteral(".ini")));
        QVERIFY2(file.exists(), qPrintable(file.filePath()));
        QVERIFY2(file.filePath().contains(QStringLiteral(".qttest")), qPrintable(file.filePath()));
        QVERIFY(QDir(file.path()).removeRecursively());
#endif
    }

private:
    QTemporaryDir m_dir;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 6 && qstrcmp(argv[1], kReadArgument) == 0)
        return readSettingInChild(argv);
    TestQtSettingsService test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_qt_settings_service.moc"
