#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QApplication;
class frmMain;
struct Services;

/// Gives the application its title and the globe icon that every window shows.
void setUpApplication(QApplication &app);

/// Builds the main window on the catalog in `appPath` (or on `catalogFile` when one is
/// given), runs its start-up and shows it.
std::unique_ptr<frmMain> startMainWindow(Services &services, const QString &appPath,
                                         const QString &catalogFile = QString());

/// The catalog file named on the command line (`arguments` without the program's name), as
/// an absolute path taken from `currentFolder`; empty when none is named. Only the first
/// argument counts; "--" before it lets a file name start with "-".
QString catalogFileArgument(const QStringList &arguments, const QString &currentFolder);
