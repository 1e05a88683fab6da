// Pictures of the three windows on the demonstration catalog, for the README: the main
// window, the results window of one category with a row chosen, and that row's detail
// window. Drives the real windows through their handlers and controls; run offscreen by
// the `screenshots` target so the pictures follow the code.
//
// Usage: quorbix-screenshots OUTPUT-FOLDER [CATEGORY]

#include "app/start_up.h"
#include "main_window/frm_main.h"
#include "window_services/link_label.h"
#include "window_services/services.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QWindow>

#include <cstdio>

namespace {

constexpr int kChosenRow = 2;

constexpr int kExposeWaitSteps = 200;
constexpr int kExposeWaitStepMs = 10;

QString g_outputFolder;
int g_failures = 0;

void waitUntilExposed(QWidget &window)
{
    for (int i = 0; i < kExposeWaitSteps; ++i) {
        QApplication::processEvents();
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return;
        QThread::msleep(kExposeWaitStepMs);
    }
}

void save(QWidget &window, const QString &fileName)
{
    QApplication::processEvents();
    const QString path = QDir(g_outputFolder).filePath(fileName);
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// Anything the windows report means the pictures would not show the program at work.
class ReportingMessages final : public MessageService {
public:
    int MsgBox(QWidget *, const QString &prompt, int style, const QString &) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        ++g_failures;
        return (style & 0x0F) == vbYesNo ? vbNo : vbOK;
    }
    void Beep() override {}
};

class NoDesktop final : public DesktopService {
public:
    bool openUrl(const QUrl &) override { return false; }
};

// The layout sizes, whatever the user's stored settings say.
class NoSettings final : public SettingsService {
public:
    QString GetSetting(const QString &, const QString &, const QString &, const QString &defaultValue) override
    {
        return defaultValue;
    }
    void SaveSetting(const QString &, const QString &, const QString &, const QString &) override {}
};

// Shows each window, takes its picture, and goes on down the road from it.
class PictureDialogs final : public DialogService {
public:
    int showModal(QDialog &dialog) override
    {
        dialog.show();
        waitUntilExposed(dialog);
        if (dialog.objectName() == QLatin1String("frmSoftware")) {
            if (auto *grid = dialog.findChild<QTableView *>(QStringLiteral("dtgOrg")))
                grid->setCurrentIndex(grid->model()->index(kChosenRow, 0));
            save(dialog, QStringLiteral("results-window.png"));
            if (auto *select = dialog.findChild<QPushButton *>(QStringLiteral("cmdSelect")))
                select->click();
        } else if (dialog.objectName() == QLatin1String("frmDetail")) {
            save(dialog, QStringLiteral("detail-window.png"));
        }
        dialog.reject();
        return dialog.result();
    }
};

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: quorbix-screenshots OUTPUT-FOLDER [CATEGORY]\n");
        return 2;
    }
    g_outputFolder = args.at(1);
    const QString category = args.value(2, QStringLiteral("Education"));
    QDir().mkpath(g_outputFolder);

    ReportingMessages messages;
    NoDesktop desktop;
    NoSettings settings;
    PictureDialogs dialogs;
    Services services{messages, realServices().pointer, desktop, settings, dialogs};

    const auto window = startMainWindow(services, QCoreApplication::applicationDirPath());
    waitUntilExposed(*window);
    save(*window, QStringLiteral("main-window.png"));

    int index = 0;
    while (index < window->lblCategoryCount() && window->lblCategory(index)->text() != category)
        ++index;
    if (index == window->lblCategoryCount()) {
        std::fprintf(stderr, "no category named %s\n", qPrintable(category));
        return 1;
    }
    window->lblCategory_Click(index);
    return g_failures == 0 ? 0 : 1;
}
