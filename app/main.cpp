#include "app/start_up.h"
#include "main_window/frm_main.h"
#include "window_services/services.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before the application object, which needs a display: --help and --version do not.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // A catalog named on the command line (a file manager's "Open with") is read in place
    // of the one beside the program.
    const CommandLine line = readCommandLine(arguments, QDir::currentPath());
    switch (line.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "%s\n", line.text.toLocal8Bit().constData());
        return kUsageExitStatus;
    case CommandLine::Action::Run:
        break;
    }
    int qtArgc = argumentsForQt(argc, argv);
    QApplication app(qtArgc, argv);
    setUpApplication(app);
    // The application folder is the real executable's folder, also when started through a
    // link in another folder: the catalog lies beside the program.
    const auto window = startMainWindow(realServices(), QCoreApplication::applicationDirPath(), line.catalogFile);
    return app.exec();
}
