#include "start_up.h"

#include "frm_main.h"

#include <QApplication>
#include <QDir>
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

std::unique_ptr<frmMain> startMainWindow(Services &services, const QString &appPath, const QString &catalogFile)
{
    auto window = std::make_unique<frmMain>(services, appPath, nullptr, catalogFile);
    window->Form_Load();
    window->show();
    // Take the keyboard: without a window manager nobody else gives it.
    window->activateWindow();
    return window;
}

QString catalogFileArgument(const QStringList &arguments, const QString &currentFolder)
{
    QStringList rest = arguments;
    if (!rest.isEmpty() && rest.first() == QLatin1String("--"))
        rest.removeFirst();
    if (rest.isEmpty() || rest.first().isEmpty())
        return {};
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(rest.first()));
}
