#include "window_services/qt_settings_service.h"

#include <QSettings>

namespace {

// The section is a group of the store, the key a value in it.
QString settingPath(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

}  // namespace

QtSettingsService::QtSettingsService(const QString &iniFile) : m_iniFile(iniFile) {}

QString QtSettingsService::GetSetting(const QString &appName, const QString &section,
                                      const QString &key, const QString &defaultValue)
{
    const auto s = store(appName);
    const QVariant value = s->value(settingPath(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

void QtSettingsService::SaveSetting(const QString &appName, const QString &section,
                                    const QString &key, const QString &value)
{
    const auto s = store(appName);
    s->setValue(settingPath(section, key), value);
    s->sync();
}

std::unique_ptr<QSettings> QtSettingsService::store(const QString &appName) const
{
    if (!m_iniFile.isEmpty()) {
        auto s = std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
        s->beginGroup(appName);
        return s;
    }
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + appName,
        QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, appName,
                                       appName);
#endif
}
