#include "services.h"

#include "qt_settings_service.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

// Runs a modal window, then gives the keyboard back to the window that had it. A window
// manager usually does that itself; without one (or with one whose focus follows the
// pointer) the keyboard would stay with nothing and a user without a mouse would be stuck.
int execHandingBackKeyboard(QDialog &dialog)
{
    const QPointer<QWidget> before = QApplication::activeWindow();
    // A window under a modal one takes no input, yet a compositor may still give it the
    // keyboard and raise it (sway does, on a click or its window switch), hiding the modal
    // window. The modal window then takes the keyboard back; on Wayland, where a compositor
    // may refuse a window the keyboard it asks for (sway does by default), it is shown anew,
    // which every compositor puts on top with the keyboard.
    struct Showing {
        bool running = true;
        bool again = false;
    };
    const auto showing = std::make_shared<Showing>();
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    QPointer<QDialog> modal(&dialog);
    const QMetaObject::Connection guard = QObject::connect(
        qApp, &QGuiApplication::focusWindowChanged, &dialog, [modal, showing, wayland](QWindow *focused) {
            if (!focused || !modal || QApplication::activeModalWidget() != modal || focused == modal->windowHandle())
                return;
            QTimer::singleShot(0, modal, [modal, showing, wayland] {
                if (!showing->running || !modal || !modal->isVisible() || QApplication::activeModalWidget() != modal
                    || QGuiApplication::focusWindow() == modal->windowHandle())
                    return;
                if (!wayland) {
                    modal->raise();
                    modal->activateWindow();
                    return;
                }
                showing->again = true;
                modal->hide();  // ends this showing's loop; the loop below shows it again
            });
        });
    int result = QDialog::Rejected;
    do {
        showing->again = false;
        result = dialog.exec();
    } while (showing->again);
    showing->running = false;
    QObject::disconnect(guard);
    if (before && before->isVisible() && before != &dialog)
        before->activateWindow();
    return result;
}

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
        const int answer = execHandingBackKeyboard(box);
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

class QtDialogService final : public DialogService {
public:
    int showModal(QDialog &dialog) override { return execHandingBackKeyboard(dialog); }
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
