#include "services.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QSettings>

namespace {

class QtMessageService final : public MessageService {
public:
    int MsgBox(QWidget *parent, const QString &prompt, int style, const QString &title) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(prompt);
        if ((style & 0x70) == vbExclamation)
            box.setIcon(QMessageBox::Warning);
        const bool yesNo = (style & 0x0F) == vbYesNo;
        if (yesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        // System-modal has no meaning on a Qt desktop; the whole application waits.
        box.setWindowModality(Qt::ApplicationModal);
        const int answer = box.exec();
        if (yesNo)
            return answer == QMessageBox::Yes ? vbYes : vbNo;
        return vbOK;
    }
    void Beep() override { QApplication::beep(); }
};

class QtPointerService final : public PointerService {
public:
    void setMousePointer(int pointer) override
    {
        m_pointer = pointer;
        if (pointer == vbHourglass) {
            if (QGuiApplication::overrideCursor())
                QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
            else
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            while (QGuiApplication::overrideCursor())
                QGuiApplication::restoreOverrideCursor();
        }
    }
    int mousePointer() const override { return m_pointer; }

private:
    int m_pointer = vbDefault;
};

class QtDesktopService final : public DesktopService {
public:
    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }
};

class QtSettingsService final : public SettingsService {
public:
    QString GetSetting(const QString &appName, const QString &section, const QString &key,
                       const QString &defaultValue) override
    {
        auto s = store(appName);
        return s->value(section + QLatin1Char('/') + key, defaultValue).toString();
    }
    void SaveSetting(const QString &appName, const QString &section, const QString &key,
                     const QString &value) override
    {
        auto s = store(appName);
        s->setValue(section + QLatin1Char('/') + key, value);
    }

private:
    static std::unique_ptr<QSettings> store(const QString &appName)
    {
#ifdef Q_OS_WIN
        // Where the program's earlier releases kept their settings, so stored sizes carry over.
        return std::make_unique<QSettings>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + appName,
            QSettings::NativeFormat);
#else
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, appName,
                                           appName);
#endif
    }
};

class QtDialogService final : public DialogService {
public:
    int showModal(QDialog &dialog) override { return dialog.exec(); }
};

}  // namespace

Services &realServices()
{
    static QtMessageService messages;
    static QtPointerService pointer;
    static QtDesktopService desktop;
    static QtSettingsService settings;
    static QtDialogService dialogs;
    static Services services{messages, pointer, desktop, settings, dialogs};
    return services;
}
