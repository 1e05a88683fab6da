// Times the catalog layer on a catalog file: the connection, the start-up tables, the
// listings, Sort, Filter and Requery, and the peak memory; then, for comparison, the same
// table read by mdb-export and the same statements run by the sqlite3 program on a SQLite
// copy of the loaded tables.
//
// Usage: bench_catalog [--first-listing | --sorts] CATALOG.mdb [CATALOG.mdb ...]
//   --first-listing stops after the first all-titles listing (for a profiler);
//   --sorts then gives only header sorts, each again and again.
//
// The processor time of the first listing leaves out the reader process, which parses the
// file in parallel; mdb-export's processor time is its whole work.

#include "bench/process_time.h"
#include "catalog/ado/connection.h"
#include "catalog/listing/query.h"
#include "catalog/listing/request.h"
#include "catalog/engine/query_engine.h"
#include "catalog/ado/recordset.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

constexpr int kRepeats = 5;

// A wall-clock time and the processor time spent on it, in milliseconds. On a shared
// machine the wall time carries other people's load; the processor time does not.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double childrenCpuMilliseconds()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
#else
    return 0;
#endif
}

Timing timeOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    const double cpu = processMilliseconds();
    timer.start();
    work();
    return {double(timer.nsecsElapsed()) / 1e6, processMilliseconds() - cpu};
}

Timing median(std::vector<Timing> times)
{
    std::sort(times.begin(), times.end(), [](const Timing &a, const Timing &b) { return a.wall < b.wall; });
    Timing m = times[times.size() / 2];
    std::sort(times.begin(), times.end(), [](const Timing &a, const Timing &b) { return a.cpu < b.cpu; });
    m.cpu = times[times.size() / 2].cpu;
    return m;
}

Timing medianOf(const std::function<void()> &work, int repeats = kRepeats)
{
    std::vector<Timing> times;
    for (int i = 0; i < repeats; ++i)
        times.push_back(timeOf(work));
    return median(times);
}

long peakKilobytes()
{
#ifdef Q_OS_WIN
    return windowsPeakKilobytes();
#endif
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The reader process, this process's child (Linux only); empty when none runs.
QString readerProcess()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() >= 2 && fields[1] == self && line.contains("(quorbix-reader)"))
            return entry;
    }
    return {};
}

// A field of a process's status, in kilobytes: VmHWM its peak, RssAnon its own memory
// without the file it maps. -1 when there is no such process.
long statusKilobytes(const QString &process, const char *field)
{
    const QByteArray key = QByteArray(field) + ':';
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!process.isEmpty() && status.open(QIODevice::ReadOnly))
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith(key))
                return l.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The largest RssAnon of the reader seen while `work` runs, looked at every 20 ms (the
// looking costs well under a millisecond of processor time a second).
long readerAnonymousPeakKilobytes(const std::function<void()> &work)
{
    std::atomic<bool> done{false};
    long peak = -1;
    std::thread watcher([&] {
        QString reader;
        while (!done.load()) {
            if (reader.isEmpty() || statusKilobytes(reader, "RssAnon") < 0)
                reader = readerProcess();
            peak = std::max(peak, statusKilobytes(reader, "RssAnon"));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    work();
    done = true;
    watcher.join();
    return std::max(peak, statusKilobytes(readerProcess(), "RssAnon"));
}

void report(const char *what, const Timing &t, const QString &note = QString())
{
    // The peak so far beside each step says which step raised it.
    std::printf("  %-50s %9.1f ms %9.1f ms %8.0f MB%s\n", what, t.wall, t.cpu, double(peakKilobytes()) / 1024.0,
                note.isEmpty() ? "" : qPrintable(QStringLiteral("   (") + note + QLatin1Char(')')));
}

// Runs a program with its output thrown away; the time includes its start.
Timing timeProgram(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    const double cpu = childrenCpuMilliseconds();
    timer.start();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(600000);
    const Timing t{double(timer.nsecsElapsed()) / 1e6, childrenCpuMilliseconds() - cpu};
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return t;
}

std::unique_ptr<ado::Recordset> openListing(const std::shared_ptr<ado::Connection> &cn, const listing::Request &request)
{
    auto rs = std::make_unique<ado::Recordset>();
    rs->CursorLocation = ado::adUseClient;
    if (ado::Error e = rs->Open(request, cn, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText)) {
        std::fprintf(stderr, "listing failed: %d %s\n", e.Number, qPrintable(e.Description));
        std::exit(1);
    }
    return rs;
}

int benchFile(const QString &file, bool firstListingOnly, bool sortsOnly)
{
    const qint64 fileBytes = QFileInfo(file).size();
    std::printf("%s (%.1f MB)\n", qPrintable(file), double(fileBytes) / 1e6);
    std::printf("  %-50s %12s %12s %11s\n", "", "wall", "processor", "peak");

    auto cn = std::make_shared<ado::Connection>();
    cn->CursorLocation = ado::adUseClient;
    ado::Error openError;
    report("connection open",
           timeOf([&] {
               openError = cn->Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;").arg(file));
           }));
    if (openError) {
        std::fprintf(stderr, "open failed: %d %s\n", openError.Number, qPrintable(openError.Description));
        return 1;
    }

    report("three start-up tables", timeOf([&] {
               for (const char *table : {"Category", "SubCategory", "FeatureSoftware"}) {
                   ado::Recordset rs;
                   rs.CursorType = ado::adOpenForwardOnly;
                   rs.CursorLocation = ado::adUseClient;
                   rs.LockType = ado::adLockReadOnly;
                   rs.Source = QStringLiteral("Select * From %1").arg(table);
                   rs.ActiveConnection = cn;
                   rs.Open();
                   rs.Close();
               }
           }));

    const listing::Request all = listing::Request::allTitles();
    const listing::Request search = listing::Request::search(QStringLiteral("zip"));
    std::unique_ptr<ado::Recordset> rs;
    Timing firstMs;
    const long readerAnonymous = readerAnonymousPeakKilobytes([&] { firstMs = timeOf([&] { rs = openListing(cn, all); }); });
    report("first all-titles listing (loads Software)", firstMs, QStringLiteral("%1 rows").arg(rs->RecordCount()));
    if (sortsOnly) {
        // Each header sort again and again, for a profiler started after the load.
        for (int round = 0; round < 6; ++round)
            for (const char *sort : {"Price ASC", "Price DESC", "Name DESC", "Name ASC", "Rating DESC"})
                report(sort, timeOf([&] { rs->setSort(QString::fromLatin1(sort)); }));
        return 0;
    }
    if (firstListingOnly) {
        std::printf("  %-50s %9.1f MB   (%.2fx the file)\n", "peak memory (VmHWM)", double(peakKilobytes()) / 1024.0,
                    double(peakKilobytes()) * 1024.0 / double(fileBytes));
        std::printf("  %-50s %9.1f MB\n\n", "reader process RssAnon during the first listing",
                    double(readerAnonymous) / 1024.0);
        return 0;
    }
    report("second all-titles listing", medianOf([&] { rs = openListing(cn, all); }), "median, the first held");
    std::vector<Timing> unheld;
    for (int i = 0; i < kRepeats; ++i) {
        rs.reset();
        unheld.push_back(timeOf([&] { rs = openListing(cn, all); }));
    }
    report("all-titles listing, none held (statement run)", median(unheld), "median");
    int found = 0;
    const Timing searchMs = medianOf([&] { found = openListing(cn, search)->RecordCount(); });
    report("search listing for zip", searchMs, QStringLiteral("median, %1 rows").arg(found));

    bool descending = false;
    report("Sort by Price", medianOf([&] {
               rs->setSort(descending ? QStringLiteral("Price DESC") : QStringLiteral("Price ASC"));
               descending = !descending;
           }),
           "median");
    report("Sort by Name", medianOf([&] {
               rs->setSort(descending ? QStringLiteral("Name DESC") : QStringLiteral("Name ASC"));
               descending = !descending;
           }),
           "median");
    const Timing firstFilterMs = timeOf([&] { rs->setFilter(QStringLiteral("Name LIKE '*zip*'")); });
    report("first contains Filter on Name (folds the column)", firstFilterMs,
           QStringLiteral("%1 rows").arg(rs->RecordCount()));
    const QStringList keystrokes{QStringLiteral("z"), QStringLiteral("zi"), QStringLiteral("zip"),
                                 QStringLiteral("zipm"), QStringLiteral("a")};
    int keystroke = 0;
    report("contains Filter on Name", medianOf([&] {
               rs->setFilter(QStringLiteral("Name LIKE '*%1*'").arg(keystrokes[keystroke++ % keystrokes.size()]));
           }),
           "median over z, zi, zip, zipm, a");
    keystroke = 0;
    report("begins-with Filter on Name", medianOf([&] {
               rs->setFilter(QStringLiteral("Name LIKE '%1*'").arg(keystrokes[keystroke++ % keystrokes.size()]));
           }),
           "median");
    rs->setFilter(QString());
    report("Requery (sort kept)", medianOf([&] { rs->Requery(); }, 3), "median");
    rs.reset();
    const long peak = peakKilobytes();
    std::printf("  %-50s %9.1f MB   (%.2fx the file)\n", "peak memory (VmHWM)", double(peak) / 1024.0,
                double(peak) * 1024.0 / double(fileBytes));
    const long readerPeak = statusKilobytes(readerProcess(), "VmHWM");
    std::printf("  %-50s %9.1f MB   (%.2fx the file)\n", "reader process peak (VmHWM)", double(readerPeak) / 1024.0,
                double(readerPeak) * 1024.0 / double(fileBytes));
    std::printf("  %-50s %9.1f MB   (its own memory, the mapped file left out)\n",
                "reader process RssAnon during the first listing", double(readerAnonymous) / 1024.0);

    std::printf("  comparison\n");
    bool ok = false;
    const Timing exportMs = timeProgram(QStringLiteral("mdb-export"), {file, QStringLiteral("Software")}, &ok);
    report("mdb-export FILE Software", exportMs, ok ? QString() : QStringLiteral("failed"));

    // sqlite3's copy of the catalog, as catalog-dump (beside this program) writes it.
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("catalog.sqlite"));
    const QString dump = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("catalog-dump"));
    if (QProcess::execute(dump, {file, QStringLiteral("--sqlite"), plain}) != 0) {
        std::fprintf(stderr, "catalog-dump --sqlite failed\n");
        return 1;
    }
    const QList<QPair<const char *, QString>> statements{{"sqlite3: all-titles listing", all.sql()},
                                                         {"sqlite3: search listing for zip", search.sql()}};
    for (const auto &[what, sql] : statements) {
        std::vector<Timing> times;
        for (int i = 0; i < kRepeats; ++i)
            times.push_back(timeProgram(QStringLiteral("sqlite3"), {plain, sql}, &ok));
        // The same rows, or the comparison means nothing.
        QProcess count;
        count.start(QStringLiteral("sqlite3"), {plain, QStringLiteral("SELECT count(*) FROM (%1)").arg(sql)});
        count.waitForFinished(600000);
        const QString rows = QString::fromUtf8(count.readAllStandardOutput()).trimmed();
        report(what, median(times),
               ok ? QStringLiteral("median, %1 rows").arg(rows) : QStringLiteral("failed"));
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    // --first-listing: only as far as the first all-titles listing, for profiling it.
    const bool firstListingOnly = files.removeAll(QStringLiteral("--first-listing")) > 0;
    // --sorts: the first listing, then only header sorts, each again and again.
    const bool sortsOnly = files.removeAll(QStringLiteral("--sorts")) > 0;
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: bench_catalog [--first-listing | --sorts] CATALOG.mdb [CATALOG.mdb ...]\n");
        return 2;
    }
    int result = 0;
    for (const QString &file : files)
        result |= benchFile(file, firstListingOnly, sortsOnly);
    return result;
}
