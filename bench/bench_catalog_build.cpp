// bench_catalog_build TITLES WORK-DIR
//
// Generates a deterministic, seeded catalog script of TITLES titles (basic's categories,
// subcategories, types and sites; generated titles; a few featured rows) in WORK-DIR, builds
// it with catalog-build and reads the result back with our reader (catalog-dump) and with
// mdb-export: row counts, a spot check of 1,000 titles against the script, build time and
// peak memory beside mdb-export's time to read the same file. Figures are printed, never
// asserted. The same TITLES always gives the same script and the same file.

#include "bench/seeded_random.h"


#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <map>
#include <set>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

constexpr std::uint64_t kSeed = 0x5eed2026;
constexpr int kSpotChecks = 1000;
constexpr int kSoftwareColumns = 17;


const char *const kWords[] = {"archive", "audio", "backup", "clean", "code", "convert", "data", "disk", "easy", "edit",
                              "fast", "file", "image", "lite", "mail", "manager", "music", "net", "photo", "pro",
                              "secure", "smart", "studio", "sync", "tool", "video", "view", "web", "zip"};
constexpr int kWordCount = int(sizeof kWords / sizeof *kWords);

QByteArray capitalised(const char *w)
{
    QByteArray s(w);
    s[0] = char(s[0] - 'a' + 'A');
    return s;
}

/// A money amount as the table script writes it: `12.5`, `3`.
QByteArray withoutTrailingZeros(QByteArray amount)
{
    if (amount.contains('.')) {
        while (amount.endsWith('0'))
            amount.chop(1);
        if (amount.endsWith('.'))
            amount.chop(1);
    }
    return amount;
}

/// The script's header tables: basic's, up to its Software table.
QByteArray headerTables(const QString &basicScript, QList<QPair<int, int>> &subCategories)
{
    QFile f(basicScript);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray out;
    bool inSub = false;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line == "TABLE Software")
            break;
        if (line.startsWith("TABLE "))
            inSub = line == "TABLE SubCategory";
        else if (inSub && line.startsWith("ROW ")) {
            const QByteArrayList cells = line.mid(4).split('\t');
            subCategories.append({cells[1].toInt(), cells[0].toInt()});
        }
        if (!line.isEmpty())
            out += line + '\n';
    }
    return out;
}

/// Writes the script; returns the Software rows chosen for the spot check, by row index.
bool writeScript(const QString &path, int titles, const QString &basicScript, std::map<int, QByteArrayList> &spot)
{
    QList<QPair<int, int>> subCategories;  // (category, subcategory)
    const QByteArray header = headerTables(basicScript, subCategories);
    if (header.isEmpty() || subCategories.isEmpty())
        return false;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(header);
    f.write("TABLE Software\nCOLUMN SoftwareID LONG AUTONUMBER\nCOLUMN Name TEXT 100\nCOLUMN Description MEMO\n"
            "COLUMN Price MONEY\nCOLUMN Requirements TEXT 255\nCOLUMN Uninstaller BOOLEAN\nCOLUMN Limitations TEXT 255\n"
            "COLUMN ScreenURL TEXT 255\nCOLUMN DownloadURL1 TEXT 255\nCOLUMN DownloadURL2 TEXT 255\n"
            "COLUMN DownloadURL3 TEXT 255\nCOLUMN BuyURL TEXT 255\nCOLUMN Rating INT\nCOLUMN SoftwareTypeID LONG\n"
            "COLUMN SiteID LONG\nCOLUMN CategoryID LONG\nCOLUMN SubCategoryID LONG\nPRIMARYKEY SoftwareID\n");
    Random pick(kSeed);
    std::set<int> chosen;
    Random spotPick(kSeed ^ std::uint64_t(titles));
    while (int(chosen.size()) < std::min(kSpotChecks, titles))
        chosen.insert(spotPick.below(titles));
    QByteArray chunk;
    for (int i = 1; i <= titles; ++i) {
        const QByteArray id = QByteArray::number(i);
        QByteArray description;
        for (int w = 0, n = 12 + pick.below(20); w < n; ++w)
            description += (w ? " " : "") + QByteArray(kWords[pick.below(kWordCount)]);
        const int cents = pick.below(50000);
        const auto [category, subCategory] = subCategories[pick.below(int(subCategories.size()))];
        const QByteArrayList cells = {
            id, capitalised(kWords[pick.below(kWordCount)]) + ' ' + capitalised(kWords[pick.below(kWordCount)]) + ' ' + id,
            description, withoutTrailingZeros(QByteArray::number(cents / 100) + '.' + QByteArray::number(cents % 100).rightJustified(2, '0')),
            "Windows", QByteArray::number(pick.below(2)), "None", "\\N", "http://dl.example/" + id, "\\N", "\\N",
            pick.below(4) ? QByteArray("\\N") : "http://buy.example/" + id, QByteArray::number(1 + pick.below(5)),
            QByteArray::number(1 + pick.below(4)), QByteArray::number(1 + pick.below(5)), QByteArray::number(category),
            QByteArray::number(subCategory)};
        if (chosen.count(i - 1))
            spot[i - 1] = cells;
        chunk += "ROW " + cells.join('\t') + '\n';
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    chunk += "TABLE FeatureSoftware\nCOLUMN FeatureID LONG AUTONUMBER\nCOLUMN Name TEXT 100\nCOLUMN Description TEXT 255\n"
             "PRIMARYKEY FeatureID\n";
    for (int i = 1; i <= 6; ++i)
        chunk += "ROW " + QByteArray::number(i) + "\tTitle " + QByteArray::number(i) + "\tFeatured\n";
    return f.write(chunk) == chunk.size() && f.flush();
}

struct Timed {
    bool ok = false;
    double seconds = 0;
    QByteArray out, err;
};

Timed runTimed(const QString &program, const QStringList &args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    Timed r;
    if (!p.waitForStarted())
        return r;
    while (!p.waitForFinished(100))
        r.out += p.readAllStandardOutput();  // keep the pipe flowing
    r.out += p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.seconds = t.elapsed() / 1000.0;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

long peakChildMemoryKb()
{
#ifndef _WIN32
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss;
#else
    return -1;
#endif
}

/// The Software table's rows from a tab-separated listing, by row index.
std::vector<QByteArray> softwareRows(const QByteArray &text, bool script)
{
    std::vector<QByteArray> rows;
    bool in = !script;
    for (const QByteArray &line : text.split('\n')) {
        if (script && line.startsWith("TABLE "))
            in = line == "TABLE Software";
        else if (in && script && line.startsWith("ROW "))
            rows.push_back(line.mid(4));
        else if (in && !script && !line.isEmpty())
            rows.push_back(line);
    }
    return rows;
}

/// mdb-export's notation as the script writes it: money without trailing zeros.
QByteArray normalised(QByteArray row)
{
    QByteArrayList cells = row.split('\t');
    if (cells.size() == kSoftwareColumns)
        cells[3] = withoutTrailingZeros(cells[3]);
    return cells.join('\t');
}

QByteArray scriptNotation(QByteArrayList cells)
{
    for (QByteArray &c : cells)
        if (c == "\\N")
            c.clear();  // mdb-export prints Null as nothing
    return cells.join('\t');
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || args[1].toInt() <= 0) {
        std::fprintf(stderr, "usage: bench_catalog_build TITLES WORK-DIR\n");
        return 2;
    }
    const int titles = args[1].toInt();
    const QDir work(args[2]);
    const QDir bin(app.applicationDirPath());
    const QString basic = QStringLiteral(QUORBIX_SOURCE_DIR "/tests/data/basic.txt");
    const QString script = work.filePath(QStringLiteral("titles-%1.txt").arg(titles));
    const QString mdb = work.filePath(QStringLiteral("titles-%1.mdb").arg(titles));

    QElapsedTimer t;
    t.start();
    std::map<int, QByteArrayList> spot;
    if (!writeScript(script, titles, basic, spot)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(script));
        return 1;
    }
    const double generated = t.elapsed() / 1000.0;

    const Timed build = runTimed(bin.filePath(QStringLiteral("catalog-build")), {script, mdb});
    const long buildPeakKb = peakChildMemoryKb();
    if (!build.ok) {
        std::fprintf(stderr, "catalog-build failed: %s\n", build.err.constData());
        return 1;
    }
    const Timed ours = runTimed(bin.filePath(QStringLiteral("catalog-dump")), {mdb});
    const Timed mdbExport = runTimed(QStringLiteral("mdb-export"), {"-H", "-Q", "-d", "\t", mdb, "Software"});
    if (!ours.ok || !mdbExport.ok) {
        std::fprintf(stderr, "a reader failed: %s%s\n", ours.err.constData(), mdbExport.err.constData());
        return 1;
    }
    const std::vector<QByteArray> ourRows = softwareRows(ours.out, true);
    const std::vector<QByteArray> exportRows = softwareRows(mdbExport.out, false);
    int ourMismatches = 0, exportMismatches = 0;
    for (const auto &[index, cells] : spot) {
        if (index >= int(ourRows.size()) || ourRows[std::size_t(index)] != cells.join('\t'))
            ++ourMismatches;
        if (index >= int(exportRows.size()) || normalised(exportRows[std::size_t(index)]) != scriptNotation(cells))
            ++exportMismatches;
    }
    const double fileMb = double(QFileInfo(mdb).size()) / (1024 * 1024);
    std::printf("titles %d: script generated in %.1f s; %.1f MB catalog\n", titles, generated, fileMb);
    std::printf("  catalog-build        %7.2f s   peak memory %6.1f MB\n", build.seconds, buildPeakKb / 1024.0);
    std::printf("  catalog-dump (ours)  %7.2f s   Software rows %zu, spot check %d of %zu differ\n", ours.seconds,
                ourRows.size(), ourMismatches, spot.size());
    std::printf("  mdb-export Software  %7.2f s   Software rows %zu, spot check %d of %zu differ\n", mdbExport.seconds,
                exportRows.size(), exportMismatches, spot.size());
    std::printf("  build / mdb-export read: %.2f\n", build.seconds / mdbExport.seconds);
    const bool agree = int(ourRows.size()) == titles && int(exportRows.size()) == titles && ourMismatches == 0 &&
                       exportMismatches == 0;
    return agree ? 0 : 1;
}
