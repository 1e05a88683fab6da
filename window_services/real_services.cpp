#include "window_services/services.h"

#include "window_services/qt_settings_service.h"
#include "window_services/window_frame.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#include <string>
#endif

namespace {

// True for the modal window itself and what opens from it (its list boxes' pop-ups, its
// tooltips, a window over it): the keyboard there is still the modal window's.
bool belongsTo(const QWindow *focused, const QDialog &modal)
{
    const Qt::WindowType type = focused->type();
    if (type == Qt::Popup || type == Qt::ToolTip)
        return true;
    for (const QWindow *w = focused; w; w = w->transientParent() ? w->transientParent() : w->parent()) {
        if (w == modal.windowHandle())
            return true;
    }
    return false;
}

// Shows a modal window again as soon as a window manager minimises it.
class ModalStaysUp final : public QObject {
public:
    explicit ModalStaysUp(QDialog &dialog) : m_dialog(&dialog) { dialog.installEventFilter(this); }
    ~ModalStaysUp() override
    {
        if (m_dialog)
            m_dialog->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && event->type() == QEvent::WindowStateChange && m_dialog->isMinimized()) {
            QTimer::singleShot(0, m_dialog, [dialog = m_dialog] {
                if (!dialog || !dialog->isMinimized())
                    return;
                // The owners first, from the main window up, so that each comes up under the
                // window it waits on.
                QList<QWidget *> owners;
                for (const QWindow *w = dialog->windowHandle() ? dialog->windowHandle()->transientParent() : nullptr; w;
                     w = w->transientParent()) {
                    for (QWidget *top : QApplication::topLevelWidgets())
                        if (top->windowHandle() == w)
                            owners.prepend(top);
                }
                // A manager may not tell the owners it minimised with the window: asking it to
                // activate them brings them back either way.
                for (QWidget *owner : std::as_const(owners)) {
                    if (owner->isMinimized())
                        owner->showNormal();
                    owner->activateWindow();
                }
                dialog->showNormal();
                dialog->raise();
                dialog->activateWindow();
            });
        }
        return false;
    }

private:
    QPointer<QDialog> m_dialog;
};

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
    // which puts it on top with the keyboard (as sway does).
    struct Showing {
        bool running = true;
        bool again = false;
    };
    const auto showing = std::make_shared<Showing>();
    const bool wayland = window_frame::onWayland();
    QPointer<QDialog> modal(&dialog);
    const QMetaObject::Connection guard = QObject::connect(
        qApp, &QGuiApplication::focusWindowChanged, &dialog, [modal, showing, wayland](QWindow *focused) {
            if (!focused || !modal || QApplication::activeModalWidget() != modal || belongsTo(focused, *modal))
                return;
            QTimer::singleShot(0, modal, [modal, showing, wayland] {
                const QWindow *now = QGuiApplication::focusWindow();
                if (!showing->running || !modal || !modal->isVisible() || QApplication::activeModalWidget() != modal
                    || !now || belongsTo(now, *modal))
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
    // A modal window that offers no minimise has nothing to minimise to (its owner waits on
    // it), yet some window managers offer it all the same and minimise the owners with it
    // (openbox); with no task bar to bring them back the program would be lost: such a window
    // comes back at once, and its owners with it. One that offers it is left to the manager.
    std::optional<ModalStaysUp> stays;
    if (!dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint))
        stays.emplace(dialog);
    int result = QDialog::Rejected;
    do {
        showing->again = false;
        result = modal->exec();
    } while (showing->again && modal);
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
#ifdef Q_OS_WIN
        // On the desktop, the platform's own box: its style value is the box's buttons, icon
        // and modality as they stand (4144: OK, the exclamation mark, system-modal), its answer
        // the button's number.
        if (QGuiApplication::platformName() == QLatin1String("windows")) {
            const QWidget *top = parent ? parent->window() : nullptr;
            const HWND owner = top ? reinterpret_cast<HWND>(top->winId()) : nullptr;
            return MessageBoxW(owner, reinterpret_cast<const wchar_t *>(prompt.utf16()),
                               reinterpret_cast<const wchar_t *>(title.utf16()), UINT(style));
        }
#endif
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
    void Beep() override
    {
#ifdef Q_OS_WIN
        if (QGuiApplication::platformName() == QLatin1String("windows")) {
            MessageBeep(MB_OK);
            return;
        }
#endif
        QApplication::beep();
    }
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
#ifdef Q_OS_WIN
    // The shell's document opener, as a program of this platform calls it: the calling window,
    // no operation named (the address's default), no parameters, the root of C: as the
    // working folder, shown normally. The wide call keeps any address whole.
    bool openUrl(const QUrl &url) override
    {
        const QWidget *caller = QApplication::activeWindow();
        const HWND window = caller ? reinterpret_cast<HWND>(caller->winId()) : nullptr;
        const std::wstring address = url.toString(QUrl::FullyEncoded).toStdWString();
        const auto result = ShellExecuteW(window, nullptr, address.c_str(), nullptr, L"C:\\", SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
#else
    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }
#endif
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
