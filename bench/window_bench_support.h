// What the window benchmarks share: services that never block (no message box, no modal
// loop, no settings written), opening a catalog as cnCatalog, and timing.
#pragma once

#include "bench/process_time.h"
#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "catalog/shared_state.h"
#include "window_services/services.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

class QuietMessages final : public MessageService {
public:
    int MsgBox(QWidget *, const QString &prompt, int, const QString &) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        return vbOK;
    }
    void Beep() override {}
};

class QuietPointer final : public PointerService {
public:
    void setMousePointer(int pointer) override { m_pointer = pointer; }
    int mousePointer() const override { return m_pointer; }

private:
    int m_pointer = vbDefault;
};

class NoDesktop final : public DesktopService {
public:
    bool openUrl(const QUrl &) override { return false; }
};

class NoSettings final : public SettingsService {
public:
    QString GetSetting(const QString &, const QString &, const QString &,
                       const QString &fallback) override
    {
        return fallback;
    }
    void SaveSetting(const QString &, const QString &, const QString &, const QString &) override {}
};

class NoModal final : public DialogService {
public:
    int showModal(QDialog &) override { return QDialog::Rejected; }
};

struct QuietServices {
    QuietMessages messages;
    QuietPointer pointer;
    NoDesktop desktop;
    NoSettings settings;
    NoModal dialogs;
    Services services{messages, pointer, desktop, settings, dialogs};
};

/// Runs the windows offscreen unless a platform is chosen; call before QApplication.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

/// Opens `file` as cnCatalog; prints why not and returns false on failure.
inline bool openBenchCatalog(const char *file)
{
    const QString path = QFileInfo(QString::fromLocal8Bit(file)).absoluteFilePath();
    cnCatalog = std::make_shared<ado::Connection>();
    cnCatalog->CursorLocation = ado::adUseClient;
    if (const auto err = cnCatalog->Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=")
                                         + path + QStringLiteral(";Persist Security Info=False;"))) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(err.Description));
        return false;
    }
    return true;
}

/// Checks the one argument, opens that catalog and asks for the all-titles listing next.
/// Returns the exit code to stop with, or 0 to go on.
inline int prepareAllTitles(int argc, char **argv, const char *program)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CATALOG.mdb\n", program);
        return 2;
    }
    if (!openBenchCatalog(argv[1]))
        return 1;
    return 0;
}

/// Every title, as the main window asks for them with an empty search.
inline listing::Request allTitles() { return listing::Request::allTitles(); }
inline QString allTitlesTitle() { return listing::searchTitle(QString()); }

inline double millisecondsOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> times)
{
    if (times.empty())
        return 0.0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
