#include "frm_main.h"
#include "services.h"
#include "start_up.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    // The application folder is the real executable's folder, also when started through a
    // link in another folder: the catalog lies beside the program.
    // A catalog named on the command line (a file manager's "Open with") is read in place
    // of the one beside the program.
    const QString catalogFile = catalogFileArgument(app.arguments().mid(1), QDir::currentPath());
    const auto window = startMainWindow(realServices(), QCoreApplication::applicationDirPath(), catalogFile);
    return app.exec();
}
