// bench_large_catalog: a seeded catalog of any number of titles, shaped as large-1m.mdb (the
// same six tables and header rows; generated names, descriptions of 8 to 40 words, prices up
// to 500, types, companies and subcategories spread evenly), for benchmarks at sizes no
// fixture has.
//
//   bench_large_catalog build TITLES OUT.mdb [SEED]   writes the table script beside OUT.mdb,
//                                                     runs catalog-build on it, removes it
//   bench_large_catalog check TITLES OUT.mdb [SEED]   reads OUT.mdb with catalog-dump and
//                                                     mdb-export: row counts, and the first,
//                                                     the last and every 10,000th title
//                                                     against the generator's own values
//   bench_large_catalog row ID [SEED]                 prints title ID's row as the script has it
//
// Each title's values depend only on the seed and its number, so the same seed always gives
// the same script and the same file, and any title can be checked without making the others.

#include "bench/seeded_random.h"


#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdint>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

constexpr std::uint64_t kDefaultSeed = 0x4d2026;
constexpr std::int64_t kCheckEvery = 10000;
constexpr int kSubCategories = 25;

// The category of each subcategory, 1 to 25, as the header tables below have them.
constexpr int kCategoryOf[kSubCategories + 1] = {0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4, 5, 5, 5, 6, 6, 7, 7, 7, 8, 8, 9, 9, 10, 10};

const char *const kHeaderTables =
    "TABLE Category\nCOLUMN CategoryID LONG AUTONUMBER\nCOLUMN Name TEXT 50\nPRIMARYKEY CategoryID\n"
    "ROW 1\tBusiness\nROW 2\tDesktop\nROW 3\tDevelopment\nROW 4\tUtilities\nROW 5\tGames\nROW 6\tGraphics\n"
    "ROW 7\tInternet\nROW 8\tMultimedia\nROW 9\tSecurity\nROW 10\tEducation\n"
    "TABLE SubCategory\nCOLUMN SubCategoryID LONG AUTONUMBER\nCOLUMN CategoryID LONG\nCOLUMN Name TEXT 50\n"
    "PRIMARYKEY SubCategoryID\n"
    "ROW 1\t1\tAccounting\nROW 2\t1\tDatabases\nROW 3\t1\tOffice Suites\nROW 4\t2\tThemes\nROW 5\t2\tScreensavers\n"
    "ROW 6\t3\tCompilers\nROW 7\t3\tEditors\nROW 8\t4\tBackup\nROW 9\t4\tDisk Tools\nROW 10\t4\tArchivers\n"
    "ROW 11\t4\tFile Managers\nROW 12\t5\tArcade\nROW 13\t5\tPuzzle\nROW 14\t5\tStrategy\nROW 15\t6\tEditors\n"
    "ROW 16\t6\tViewers\nROW 17\t7\tBrowsers\nROW 18\t7\tE-Mail\nROW 19\t7\tFTP\nROW 20\t8\tAudio\nROW 21\t8\tVideo\n"
    "ROW 22\t9\tAntivirus\nROW 23\t9\tEncryption\nROW 24\t10\tLanguages\nROW 25\t10\tMathematics\n"
    "TABLE SoftwareType\nCOLUMN SoftwareTypeID LONG AUTONUMBER\nCOLUMN Description TEXT 50\n"
    "PRIMARYKEY SoftwareTypeID\nROW 1\tFreeware\nROW 2\tShareware\nROW 3\tDemo\nROW 4\tTrial\n"
    "TABLE Site\nCOLUMN SiteID LONG AUTONUMBER\nCOLUMN Name TEXT 100\nCOLUMN URL TEXT 255\nCOLUMN Description MEMO\n"
    "PRIMARYKEY SiteID\n"
    "ROW 1\tNordwell Labs\thttp://www.nordwell-labs.example/\tSmall utilities since 1996.\n"
    "ROW 2\tBrightline Software\thttp://brightline.example/\tMakers of office tools.\\r\\nTwo lines.\n"
    "ROW 3\t\\N\thttp://nameless.example/\tA site without a name.\n"
    "ROW 4\tQuiet Pixel\t\\N\tCompany with no web address.\n"
    "ROW 5\tO'Malley & Sons\thttp://omalley.example/\tA name with a quote.\n"
    "TABLE Software\nCOLUMN SoftwareID LONG AUTONUMBER\nCOLUMN Name TEXT 100\nCOLUMN Description MEMO\n"
    "COLUMN Price MONEY\nCOLUMN Requirements TEXT 255\nCOLUMN Uninstaller BOOLEAN\nCOLUMN Limitations TEXT 255\n"
    "COLUMN ScreenURL TEXT 255\nCOLUMN DownloadURL1 TEXT 255\nCOLUMN DownloadURL2 TEXT 255\n"
    "COLUMN DownloadURL3 TEXT 255\nCOLUMN BuyURL TEXT 255\nCOLUMN Rating INT\nCOLUMN SoftwareTypeID LONG\n"
    "COLUMN SiteID LONG\nCOLUMN CategoryID LONG\nCOLUMN SubCategoryID LONG\nPRIMARYKEY SoftwareID\n";

const char *const kFeatureTable =
    "TABLE FeatureSoftware\nCOLUMN FeatureID LONG AUTONUMBER\nCOLUMN Name TEXT 100\nCOLUMN Description TEXT 255\n"
    "PRIMARYKEY FeatureID\n"
    "ROW 1\tZipMaster\tBest archiver of the year\nROW 2\tDisk Tool\t\\N\n"
    "ROW 3\tTool - Pro Edition\tCut at the first spaced dash\nROW 4\tMissing Title\tNo software row has this name\n"
    "ROW 5\tDon't Panic\tA quote in the featured name\nROW 6\tOrphan Site Tool\tIts site has no row\n";

const char *const kWords[] = {"archive", "audio", "backup", "clean",  "code",   "convert", "data",  "disk",
                              "easy",    "edit",  "fast",   "file",   "image",  "lite",    "mail",  "manager",
                              "music",   "net",   "photo",  "plus",   "pro",    "secure",  "smart", "studio",
                              "sync",    "tool",  "video",  "view",   "web",    "zip"};
constexpr int kWordCount = int(sizeof kWords / sizeof *kWords);


void appendCapitalised(std::string &out, const char *word)
{
    out += char(word[0] - 'a' + 'A');
    out += word + 1;
}

/// Title `id`'s Software row, its cells separated by tabs, as the script (and catalog-dump)
/// writes it: money without trailing zeros, Null as \N.
std::string titleRow(std::int64_t id, std::uint64_t seed)
{
    // Its own stream per title: mixing the number in keeps neighbouring titles apart.
    Random pick(Random(seed ^ (std::uint64_t(id) * 0xd1b54a32d192ed03ull)).next());
    const std::string number = std::to_string(id);
    std::string row = number + '\t';
    appendCapitalised(row, kWords[pick.below(kWordCount)]);
    row += ' ';
    appendCapitalised(row, kWords[pick.below(kWordCount)]);
    row += ' ' + number + '\t';
    for (int w = 0, n = 8 + pick.below(33); w < n; ++w) {
        if (w)
            row += ' ';
        row += kWords[pick.below(kWordCount)];
    }
    const int cents = pick.below(50001);
    row += '\t' + std::to_string(cents / 100);
    if (cents % 100) {
        row += '.';
        row += char('0' + cents % 100 / 10);
        if (cents % 10)
            row += char('0' + cents % 10);
    }
    row += "\tWindows\t" + std::to_string(pick.below(2)) + "\tNone\t\\N\thttp://dl.example/" + number +
           "\t\\N\t\\N\t\\N\t";
    const int rating = 1 + pick.below(5), type = 1 + pick.below(4), site = 1 + pick.below(5);
    const int subCategory = 1 + pick.below(kSubCategories);
    row += std::to_string(rating) + '\t' + std::to_string(type) + '\t' + std::to_string(site) + '\t' +
           std::to_string(kCategoryOf[subCategory]) + '\t' + std::to_string(subCategory);
    return row;
}

bool writeScript(const QString &path, std::int64_t titles, std::uint64_t seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    std::string chunk = kHeaderTables;
    for (std::int64_t id = 1; id <= titles; ++id) {
        chunk += "ROW " + titleRow(id, seed) + '\n';
        if (chunk.size() > (1u << 20)) {
            if (f.write(chunk.data(), qint64(chunk.size())) != qint64(chunk.size()))
                return false;
            chunk.clear();
        }
    }
    chunk += kFeatureTable;
    return f.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size()) && f.flush();
}

long peakChildMegabytes()
{
#ifndef _WIN32
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss / 1024;
#else
    return -1;
#endif
}

int build(std::int64_t titles, const QString &out, std::uint64_t seed)
{
    const QString script = out + QStringLiteral(".txt");
    QElapsedTimer t;
    t.start();
    if (!writeScript(script, titles, seed)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(script));
        QFile::remove(script);
        return 1;
    }
    const double generated = double(t.elapsed()) / 1000.0;
    t.restart();
    QProcess builder;
    builder.setProcessChannelMode(QProcess::ForwardedChannels);
    builder.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("catalog-build")),
                  {script, out});
    const bool built = builder.waitForFinished(-1) && builder.exitStatus() == QProcess::NormalExit &&
                       builder.exitCode() == 0;
    const double buildSeconds = double(t.elapsed()) / 1000.0;
    QFile::remove(script);
    std::printf("titles %lld, seed %#llx: script written in %.1f s; catalog-build %s in %.1f s, peak %ld MB\n",
                static_cast<long long>(titles), static_cast<unsigned long long>(seed), generated,
                built ? "done" : "failed", buildSeconds, peakChildMegabytes());
    if (built)
        std::printf("%s: %lld bytes (%.1f%% of 2 GB)\n", qPrintable(out),
                    static_cast<long long>(QFileInfo(out).size()),
                    100.0 * double(QFileInfo(out).size()) / double(std::int64_t(1) << 31));
    return built ? 0 : 1;
}

bool sampled(std::int64_t id, std::int64_t titles) { return id == 1 || id == titles || id % kCheckEvery == 0; }

/// Feeds `program`'s output to `line` one line at a time, as it comes.
template <typename Line>
bool eachLine(const QString &program, const QStringList &args, Line line)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForStarted())
        return false;
    QByteArray pending;
    auto drain = [&] {
        pending += p.readAllStandardOutput();
        qsizetype from = 0;
        for (qsizetype end; (end = pending.indexOf('\n', from)) >= 0; from = end + 1)
            line(QByteArrayView(pending.constData() + from, end - from));
        pending.remove(0, from);
    };
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(1000);
        drain();
    }
    drain();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

int check(std::int64_t titles, const QString &file, std::uint64_t seed)
{
    QElapsedTimer t;
    t.start();
    std::int64_t ourRows = 0, compared = 0, differ = 0;
    bool inSoftware = false;
    const bool dumped = eachLine(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("catalog-dump")),
                                 {file}, [&](QByteArrayView line) {
        if (line.startsWith("TABLE "))
            inSoftware = line == "TABLE Software";
        if (!inSoftware || !line.startsWith("ROW "))
            return;
        ++ourRows;
        if (!sampled(ourRows, titles))
            return;
        ++compared;
        const std::string expected = titleRow(ourRows, seed);
        if (line.sliced(4) != QByteArrayView(expected.data(), qsizetype(expected.size()))) {
            if (++differ <= 3)
                std::printf("  row %lld differs:\n    read      %.*s\n    generated %s\n",
                            static_cast<long long>(ourRows), int(line.size() - 4), line.data() + 4, expected.c_str());
        }
    });
    std::printf("catalog-dump: %s, %lld Software rows, %lld sampled rows compared, %lld differ (%.1f s)\n",
                dumped ? "read" : "failed", static_cast<long long>(ourRows), static_cast<long long>(compared),
                static_cast<long long>(differ), double(t.elapsed()) / 1000.0);
    t.restart();
    std::int64_t exportRows = 0;
    const bool exported = eachLine(QStringLiteral("mdb-export"), {QStringLiteral("-H"), file, QStringLiteral("Software")},
                                   [&](QByteArrayView) { ++exportRows; });
    std::printf("mdb-export: %s, %lld Software rows (%.1f s)\n", exported ? "read" : "failed",
                static_cast<long long>(exportRows), double(t.elapsed()) / 1000.0);
    const bool agree = dumped && exported && ourRows == titles && exportRows == titles && differ == 0;
    std::printf("%s\n", agree ? "agree: every count is the titles made, every sampled row as generated"
                              : "DISAGREE");
    return agree ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_large_catalog build|check TITLES OUT.mdb [SEED]\n"
                         "       bench_large_catalog row ID [SEED]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return usage();
    bool ok = false;
    const std::int64_t count = args[2].toLongLong(&ok);
    if (!ok || count <= 0)
        return usage();
    const QString command = args[1];
    const int seedAt = command == QLatin1String("row") ? 3 : 4;
    std::uint64_t seed = kDefaultSeed;
    if (args.size() > seedAt + 1)
        return usage();
    if (args.size() == seedAt + 1) {
        seed = args[seedAt].toULongLong(&ok, 0);
        if (!ok)
            return usage();
    }
    if (command == QLatin1String("row") && args.size() <= 4) {
        std::printf("%s\n", titleRow(count, seed).c_str());
        return 0;
    }
    if (args.size() < 4)
        return usage();
    if (command == QLatin1String("build"))
        return build(count, args[3], seed);
    if (command == QLatin1String("check"))
        return check(count, args[3], seed);
    return usage();
}
