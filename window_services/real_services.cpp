#include "services.h"

#include "qt_settings_service.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

// Runs a modal window, then gives the keyboard back to the window that had it. A window
// manager usually does that itself; without one (or with one whose focus follows the
// pointer) the keyboard would stay with nothing and a user without a mouse would be stuck.
int execHandingBackKeyboard(QDialog &dialog)
{
    const QPointer<QWidget> before = QApplication::activeWindow();
    const int result = dialog.exec();
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
