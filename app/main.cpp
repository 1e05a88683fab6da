#include "frm_main.h"
#include "services.h"
#include "start_up.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    // The application folder is the real executable's folder, also when started through a
    // link in another folder: the catalog lies beside the program.
    const auto window = startMainWindow(realServices(), QCoreApplication::applicationDirPath());
    return app.exec();
}
