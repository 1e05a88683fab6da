#pragma once

#include <QString>

#include <memory>

class QApplication;
class frmMain;
struct Services;

/// Gives the application its title and the globe icon that every window shows.
void setUpApplication(QApplication &app);

/// Builds the main window on the catalog in `appPath`, runs its start-up and shows it.
std::unique_ptr<frmMain> startMainWindow(Services &services, const QString &appPath);
