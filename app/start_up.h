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

/// What the command line asks the program to do.
struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    /// The catalog to read (absolute), or empty for the one beside the program.
    QString catalogFile;
    /// Run: nothing. Help, Version: the text for standard output. Refuse: the one-line reason
    /// for standard error.
    QString text;
};

/// Reads the command line (`arguments` without the program's name) before any window system
/// is reached, so that --help and --version answer without a display: at most one catalog
/// name, Qt's own options (-platform NAME, -style NAME, ...) passed over for Qt to take, "--"
/// before a name that starts with "-". An unknown option or a second name refuses to run.
CommandLine readCommandLine(const QStringList &arguments, const QString &currentFolder);

/// How many of the program's `argc` arguments the application object is given: those before
/// "--", so that Qt takes none of its options from a catalog's name.
int argumentsForQt(int argc, char *argv[]);

/// The exit status of a command line refused.
constexpr int kUsageExitStatus = 2;

/// The catalog file named on the command line (`arguments` without the program's name), as
/// an absolute path taken from `currentFolder`; empty when none is named. Only the first
/// argument counts; "--" before it lets a file name start with "-".
QString catalogFileArgument(const QStringList &arguments, const QString &currentFolder);
