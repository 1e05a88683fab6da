#pragma once

#include "window_services/services.h"

#include <memory>

class QSettings;

/// The per-user settings store on QSettings. On Windows it is the registry location the
/// program's earlier releases used (HKEY_CURRENT_USER\Software\VB and VBA Program
/// Settings\<application>\<section>), so sizes stored there carry over; elsewhere it is the
/// application's INI file in the XDG configuration folder (~/.config/<application>/).
/// Values are text; each call opens the store and writes it back before returning.
class QtSettingsService final : public SettingsService {
public:
    /// The platform's per-user store.
    QtSettingsService() = default;
    /// One INI file at `iniFile` for every application name (tests, a private store).
    explicit QtSettingsService(const QString &iniFile);

    QString GetSetting(const QString &appName, const QString &section, const QString &key,
                       const QString &defaultValue) override;
    void SaveSetting(const QString &appName, const QString &section, const QString &key,
                     const QString &value) override;

private:
    std::unique_ptr<QSettings> store(const QString &appName) const;

    QString m_iniFile;
};
