#pragma once

#include <QString>
#include <QUrl>

class QDialog;
class QWidget;

/// Message-box styles and answers, pointer values: the numbers the windows are written in.
enum VbMsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbExclamation = 48,
    vbSystemModal = 4096,
};
enum VbMsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };
enum MousePointerConstants : int { vbDefault = 0, vbHourglass = 11 };

/// The notice style of the program: OK, exclamation icon, system-modal (4144).
constexpr int kNoticeStyle = vbOKOnly | vbExclamation | vbSystemModal;
/// The application title that titles notices and names the settings.
inline QString applicationTitle() { return QStringLiteral("Quorbix"); }

/// Message boxes and the beep.
class MessageService {
public:
    virtual ~MessageService() = default;
    /// Shows `prompt` with the buttons and icon of `style`; returns vbOK, vbYes or vbNo.
    virtual int MsgBox(QWidget *parent, const QString &prompt, int style, const QString &title) = 0;
    virtual void Beep() = 0;
};

/// The screen's mouse pointer: one application-wide setting, not a stack.
class PointerService {
public:
    virtual ~PointerService() = default;
    virtual void setMousePointer(int pointer) = 0;  ///< vbHourglass or vbDefault
    virtual int mousePointer() const = 0;
};

/// The desktop's opener of addresses (the browser, the mail program).
class DesktopService {
public:
    virtual ~DesktopService() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};

/// The per-user settings store, addressed by application, section and key.
class SettingsService {
public:
    virtual ~SettingsService() = default;
    virtual QString GetSetting(const QString &appName, const QString &section, const QString &key,
                               const QString &defaultValue) = 0;
    virtual void SaveSetting(const QString &appName, const QString &section, const QString &key,
                             const QString &value) = 0;
};

/// Modal showing of a window: returns when the window has closed.
class DialogService {
public:
    virtual ~DialogService() = default;
    virtual int showModal(QDialog &dialog) = 0;
};

/// The services a window uses, handed down from the main window to the windows it opens.
struct Services {
    MessageService &messages;
    PointerService &pointer;
    DesktopService &desktop;
    SettingsService &settings;
    DialogService &dialogs;
};

/// The real services of the running program (Qt message boxes, override cursor,
/// QDesktopServices, QSettings, QDialog::exec).
Services &realServices();
