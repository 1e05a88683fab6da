// Many showings of the results window in one run: what each showing leaves behind.

#include "catalog/listing/query.h"
#include "catalog/shared_state.h"
#include "results_window/frm_software.h"
#include "tests/support/fake_services.h"
#include "tests/support/fixture_catalog.h"
#include "window_services/twips.h"
#include "window_services/window_limits.h"

#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_WIN
// The two calls the memory figure needs, declared here: windows.h would bring a MINMAXINFO of
// its own beside the limits table's.
struct ProcessMemory {
    unsigned long cb, pageFaults;
    std::size_t peakWorkingSet, workingSet, rest[5];
};
extern "C" __declspec(dllimport) void *__stdcall GetCurrentProcess();
extern "C" __declspec(dllimport) int __stdcall K32GetProcessMemoryInfo(void *process, ProcessMemory *counters,
                                                                      unsigned long size);
#else
#include <unistd.h>
#endif

namespace {

constexpr int kFirstShowings = 10;
constexpr int kMoreShowings = 1000;
constexpr double kAllowedGrowthMb = 10;

// Resident memory of this process, from the kernel's page count.
double residentMb()
{
#ifdef Q_OS_WIN
    ProcessMemory counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return double(counters.workingSet) / (1024.0 * 1024.0);
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
#endif
}

int resultsWindowsAlive()
{
    int alive = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        alive += top->objectName() == QLatin1String("frmSoftware");
    return alive;
}

}  // namespace

class TestResultsShowings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(openFixtureCatalog("basic.mdb"));
        resetWindowLimitsTable();
        twips::setPerPixelOverride(15);
    }
    void cleanupTestCase() { resetWindowLimitsTable(); }

    // GIVEN the main window's road to a listing, WHEN a user opens and closes a thousand
    // listings, THEN the program holds no more than after the first ten: each closed window
    // is destroyed, while the limits table still gains one record a showing and the last
    // listing stays open until the next one replaces it.
    void shouldKeepMemoryBoundedOverAThousandShowings()
    {
        FakeServices fakes;
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        int shown = 0;
        const auto showOnce = [&] {
            showSoftwareWindow(fakes.services, &owner, listing::Request::allTitles(), listing::searchTitle(QString()));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            ++shown;
        };
        for (int i = 0; i < kFirstShowings; ++i)
            showOnce();
        const double afterFirst = residentMb();
        const auto firstListing = rsSoftware;
        QVERIFY(firstListing && firstListing->isOpen());
        for (int i = 0; i < kMoreShowings; ++i)
            showOnce();
        const double afterAll = residentMb();
        qInfo("resident after %d showings: %.1f MB; after %d: %.1f MB", kFirstShowings, afterFirst,
              shown, afterAll);

        QCOMPARE(fakes.dialogs.shown.size(), kFirstShowings + kMoreShowings);
        QCOMPARE(resultsWindowsAlive(), 0);
        QVERIFY2(afterAll - afterFirst <= kAllowedGrowthMb,
                 qPrintable(QStringLiteral("grew %1 MB").arg(afterAll - afterFirst)));
        QCOMPARE(WindowLimitsUBound(), qsizetype(kFirstShowings + kMoreShowings));
        const auto &table = *WindowLimitsTable();
        QVERIFY(table.back().FormRef && !table.back().FormRef.get() && !table.back().PrevWndProc);
        // The terminate step runs only with the table: the last listing is still open.
        QVERIFY(rsSoftware && rsSoftware->isOpen());
        // Nothing but this test holds an earlier listing: no window keeps one alive.
        QCOMPARE(firstListing.use_count(), 1);
        const auto lastListing = rsSoftware;
        resetWindowLimitsTable();
        QVERIFY(!rsSoftware && !lastListing->isOpen());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    fixLocale();
    TestResultsShowings test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_results_showings.moc"
