#pragma once

#include "catalog/shared_state.h"
#include "main_window/frm_main.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_data.h"
#include "window_services/link_label.h"
#include "window_services/twips.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <optional>

/// Fixed locale, private settings and 15 twips per pixel for a window test program.
inline void initWindowTests()
{
    fixLocale();
    twips::setPerPixelOverride(15);
}

inline QByteArray fixtureBytes(const QString &name)
{
    QFile file(testDataPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList itemTexts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

inline void doubleClick(QListWidget *list, int row)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);  // a double-click alone selects nothing
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

/// Shows each window truly modally (QDialog::exec); once the window has the keyboard, hands
/// it to the next scripted step, and closes it after (unless the step did).
class ModalDialogs : public DialogService {
public:
    int showModal(QDialog &dialog) override
    {
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            const bool active = QTest::qWaitFor([&dialog] { return QApplication::activeWindow() == &dialog; });
            if (active && !steps.isEmpty())
                steps.dequeue()(dialog);
            if (dialog.isVisible())
                dialog.reject();
        });
        return dialog.exec();
    }
    QQueue<std::function<void(QDialog &)>> steps;
};

/// frmMain after Form_Load on an application folder whose shareware.mdb holds `catalog`
/// (no file when absent), with recording fakes answering a start-up prompt with `answer`
/// and `settings` in place of the fake store when given; the shared state starts and ends
/// empty.
struct LoadedMainWindow {
    FakeServices fakes;
    Services services;
    QTemporaryDir appDir;
    std::unique_ptr<frmMain> window;

    explicit LoadedMainWindow(const std::optional<QByteArray> &catalog, DialogService *dialogs = nullptr,
                              int answer = vbNo, SettingsService *settings = nullptr)
        : services{fakes.messages, fakes.pointer, fakes.desktop, settings ? *settings : fakes.settings,
                   dialogs ? *dialogs : fakes.dialogs}
    {
        resetSharedState();
        fakes.messages.answers.enqueue(answer);
        QFile file(appDir.filePath(QStringLiteral("shareware.mdb")));
        if (catalog && (!file.open(QIODevice::WriteOnly) || file.write(*catalog) < 0 || !file.flush()))
            qFatal("cannot write the catalog");
        window = std::make_unique<frmMain>(services, appDir.path());
        window->Form_Load();
        fakes.messages.answers.clear();
    }
    ~LoadedMainWindow()
    {
        window.reset();
        resetSharedState();
    }
    template <typename T = QWidget>
    T *control(const QString &name) const { return window->findChild<T *>(name); }
};
