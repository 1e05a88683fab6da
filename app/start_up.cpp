#include "start_up.h"

#include "frm_main.h"

#include <QApplication>
#include <QIcon>

static void initResources()
{
    // The icons live in this static library; a static library's resources are registered by hand.
    Q_INIT_RESOURCE(quorbix);
}

void setUpApplication(QApplication &app)
{
    initResources();
    app.setApplicationName(QStringLiteral("Quorbix"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/quorbix/quorbix-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
}

std::unique_ptr<frmMain> startMainWindow(Services &services, const QString &appPath)
{
    auto window = std::make_unique<frmMain>(services, appPath);
    window->Form_Load();
    window->show();
    return window;
}
