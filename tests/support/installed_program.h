#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// The main window's title, and the prompt's when the catalog cannot be opened.
inline const QString kInstalledMainWindowTitle = QStringLiteral("Vantarel ver 2.0");
inline const QString kInstalledPromptTitle = QStringLiteral("Confirmation Message");

/// Starts `program` from `workingDir` on a virtual X display, waits for one of its windows and
/// returns the map state of the main window and of the prompt, one line each
/// ("<title>: IsViewable" when shown). Needs xvfb-run and xwininfo.
inline QString windowsShownBy(const QString &program, const QString &workingDir)
{
    const QString script = QStringLiteral(
        "unset QT_QPA_PLATFORM; state() { xwininfo -name \"$1\" 2>/dev/null | sed -n 's/.*Map State: //p'; }\n"
        "\"$0\" & pid=$!\n"
        "for i in $(seq 100); do sleep 0.1\n"
        "  [ \"$(state '%1')\" = IsViewable ] || [ \"$(state '%2')\" = IsViewable ] && break; done\n"
        "sleep 0.5; echo \"%1: $(state '%1')\"; echo \"%2: $(state '%2')\"; kill $pid\n")
        .arg(kInstalledMainWindowTitle, kInstalledPromptTitle);
    QProcess run;
    run.setWorkingDirectory(workingDir);
    run.start("xvfb-run", {"-a", "-s", "-screen 0 1024x768x24", "sh", "-c", script, program});
    if (!run.waitForFinished(60000))
        run.kill();
    return QString::fromLocal8Bit(run.readAllStandardOutput());
}

/// Whether windowsShownBy() can run here; kWindowToolsMissing says why not.
inline bool canShowWindows()
{
    return !QStandardPaths::findExecutable("xvfb-run").isEmpty() && !QStandardPaths::findExecutable("xwininfo").isEmpty();
}
inline const char *const kWindowToolsMissing = "needs xvfb-run and xwininfo (packages xvfb and x11-utils)";

/// Starts `program` from an empty folder, with its `catalog` beside it present or moved aside
/// for the run, and returns what windowsShownBy() reports.
inline QString windowsShownWithCatalog(const QString &program, const QString &catalog, bool catalogPresent)
{
    const QString aside = catalog + ".aside";
    if (!catalogPresent && !QFile::rename(catalog, aside))
        return QStringLiteral("could not move %1 aside").arg(catalog);
    QTemporaryDir elsewhere;
    const QString windows = windowsShownBy(program, elsewhere.path());
    if (!catalogPresent && !QFile::rename(aside, catalog))
        return QStringLiteral("could not put %1 back").arg(catalog);
    return windows;
}

/// Whether the windows that windowsShownBy() reports are the main window alone (`loaded`)
/// or the prompt alone.
inline bool showsOnly(const QString &windows, bool loaded)
{
    const QString main = kInstalledMainWindowTitle + ": IsViewable";
    const QString prompt = kInstalledPromptTitle + ": IsViewable";
    return windows.contains(loaded ? main : prompt) && !windows.contains(loaded ? prompt : main);
}
