#include "window_services/qt_settings_service.h"

#include <QtTest>

class TestQtSettingsService : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void shouldReadBackWhatItStoredAndDefaultTheRest()
    {
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        QtSettingsService(file).SaveSetting("Quorbix", "Options", "ScreenHeight", "7200, wide");
        QtSettingsService store(file);
        QCOMPARE(store.GetSetting("Quorbix", "Options", "ScreenHeight", "6800"), QStringLiteral("7200, wide"));
        QCOMPARE(store.GetSetting("Quorbix", "Options", "ScreenWidth", "10480"), QStringLiteral("10480"));
        QCOMPARE(store.GetSetting("Other", "Options", "ScreenHeight", "6800"), QStringLiteral("6800"));
    }

    void shouldKeepThePlatformStoreOutOfTheUsersSettingsInTestMode()
    {
        // A name of its own, so that test runs side by side do not share a file.
        const QString appName = "QuorbixSettingsTest" + QString::number(QCoreApplication::applicationPid());
        QtSettingsService store;
        store.SaveSetting(appName, "Options", "ScreenHeight", "7200");
#ifndef Q_OS_WIN
        const QDir folder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' + appName);
        QVERIFY2(folder.exists(appName + ".ini") && folder.path().contains(".qttest"), qPrintable(folder.path()));
        QVERIFY(QDir(folder).removeRecursively());
#endif
    }
};

QTEST_GUILESS_MAIN(TestQtSettingsService)
#include "test_qt_settings_service.moc"
