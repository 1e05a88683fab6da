#include "main_window_fixture.h"

namespace {

using Catalog = std::optional<QByteArray>;  // no file when absent

const QString kMdacSentence = QStringLiteral("Unable to open database. You may need to install Microsoft Data Access Components 2.8 "
                                             "(MDAC). You may download this free from Microsoft's web site. Do you want to go to ");

QPoint twipsPos(const QWidget *widget) { return twips::geometry(widget).topLeft().toPoint(); }

// Makes one value Null in place: clears the null-mask bit of `column` in the Jet 4 data-page
// row that holds `text` (as UTF-16). False when no row holds it.
bool setNullInRowWith(QByteArray &file, const QString &text, int column)
{
    constexpr int kPage = 4096, kRowCountAt = 12, kRowTableAt = 14;
    constexpr int kDeletedOrOverflow = 0xC000, kOffsetMask = 0x1FFF;
    const QByteArray wide(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    const auto word = [&file](qsizetype at) { return quint8(file[at]) | quint8(file[at + 1]) << 8; };
    for (qsizetype page = 0; page + kPage <= file.size(); page += kPage) {
        for (int i = 0, end = kPage; file[page] == 0x01 && i < word(page + kRowCountAt); ++i) {
            const int entry = word(page + kRowTableAt + 2 * i), start = entry & kOffsetMask;
            if (!(entry & kDeletedOrOverflow) && file.mid(page + start, end - start).contains(wide)) {
                const qsizetype maskAt = page + end - (word(page + start) + 7) / 8 + column / 8;
                file[maskAt] = char(quint8(file[maskAt]) & ~(1 << column % 8));
                return true;
            }
            end = start;
        }
    }
    return false;
}

// One category as start-up lists it; its label lies 250 twips above its list.
struct Category {
    QString catalog;
    QString nullIn;  // a subcategory whose value in nullColumn is made Null first
    int count, index;
    QString caption;
    QPoint listAt;
    QStringList names, ids;
    int nullColumn = 2;  // Name; 1 is CategoryID
};

}  // namespace

class TestFrmMainStartUp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initWindowTests(); }

    void shouldBuildTheCategoryBrowser_data()
    {
        QTest::addColumn<Category>("expected");
        QTest::newRow("first column") << Category{"basic.mdb", "", 11, 0, "Business", {240, 1560},
                                                  {"Accounting", "Databases", "Office Suites"}, {"1", "2", "3"}};
        QTest::newRow("last column") << Category{"basic.mdb", "", 11, 4, "Games", {10240, 1560},
                                                 {"Arcade", "Puzzle", "Strategy"}, {"12", "13", "14"}};
        QTest::newRow("second row") << Category{"basic.mdb", "", 11, 5, "Graphics", {240, 3560}, {"Editors", "Viewers"}, {"15", "16"}};
        QTest::newRow("empty category") << Category{"basic.mdb", "", 11, 10, "Empty Shelf", {240, 5560}, {}, {}};
        QTest::newRow("Null subcategory name") << Category{"basic.mdb", "Archivers", 11, 3, "Utilities", {7740, 1560},
                                                           {"Backup", "Disk Tools", "", "File Managers"}, {"8", "9", "10", "11"}};
        QTest::newRow("Null CategoryID inside a run") << Category{"basic.mdb", "Disk Tools", 11, 3, "Utilities", {7740, 1560},
                                                                  {"Backup", "Disk Tools", "Archivers", "File Managers"},
                                                                  {"8", "9", "10", "11"}, 1};
        QTest::newRow("first run only") << Category{"split-runs.mdb", "", 3, 0, "First", {240, 1560}, {"One-A", "One-B"}, {"1", "2"}};
        QTest::newRow("row 16") << Category{"many-categories.mdb", "", 85, 79, "Category 80", {10240, 31560}, {"Sub 80"}, {"80"}};
        QTest::newRow("row 17, past 16 bits") << Category{"many-categories.mdb", "", 85, 80, "Category 81", {240, 33560},
                                                          {"Sub 81"}, {"81"}};
    }
    void shouldBuildTheCategoryBrowser()
    {
        QFETCH(Category, expected);
        QByteArray bytes = fixtureBytes(expected.catalog);
        QVERIFY(expected.nullIn.isEmpty() || setNullInRowWith(bytes, expected.nullIn, expected.nullColumn));
        LoadedMainWindow app(bytes);
        const frmMain &w = *app.window;
        const int i = expected.index;

        QVERIFY2(app.fakes.messages.calls.isEmpty(), qPrintable(app.fakes.messages.calls.value(0).prompt));
        QCOMPARE(w.lblCategoryCount(), expected.count);
        QCOMPARE(w.lblCategory(i)->text(), expected.caption);
        QCOMPARE(w.lblCategory(i)->property("Tag").toString(), QString::number(i + 1));
        QCOMPARE(twipsPos(w.lblCategory(i)), expected.listAt - QPoint(0, 250));
        QCOMPARE(twipsPos(w.lstSubCategory(i)), expected.listAt);
        QCOMPARE(itemTexts(w.lstSubCategory(i)), expected.names);
        QCOMPARE(itemTexts(w.lstSubCategoryIDs(i)), expected.ids);
        // Run-time elements look like element 0; every list is shown, every ID list in step.
        QCOMPARE(w.lblCategory(i)->font(), w.lblCategory(0)->font());
        for (int e = 0; e < expected.count; ++e) {
            QVERIFY(!w.lblCategory(e)->isHidden() && !w.lstSubCategory(e)->isHidden() && w.lstSubCategoryIDs(e)->isHidden());
            QCOMPARE(w.lstSubCategoryIDs(e)->count(), w.lstSubCategory(e)->count());
        }
    }

    // The captions the load leaves as designed; "frmMain" is the window's own.
    void shouldKeepTheFixedCaptions_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");
        QTest::newRow("window") << "frmMain" << "Vantarel ver 2.0";
        QTest::newRow("exit") << "cmdClose" << "&Exit";
        QTest::newRow("go") << "cmdGo" << "&GO";
        QTest::newRow("search box") << "txtSearch" << "";
        QTest::newRow("featured heading") << "Label4" << "Top Software List";
        QTest::newRow("web site") << "Label3" << "Visit www.quorbix.example for great Window's Software";
        QTest::newRow("browser heading") << "Label2" << "Select a Category or Subcategory";
        QTest::newRow("search label") << "Label1" << "Search";
    }
    void shouldKeepTheFixedCaptions()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")));
        const QWidget *w = control == "frmMain" ? app.window.get() : app.control(control);
        QVERIFY2(w, qPrintable(control));
        const auto *label = qobject_cast<const QLabel *>(w);
        const auto *button = qobject_cast<const QAbstractButton *>(w);
        const auto *box = qobject_cast<const QLineEdit *>(w);
        QCOMPARE(label ? label->text() : button ? button->text() : box ? box->text() : w->windowTitle(), caption);
    }

    void shouldListFeaturedTitlesAsNameDashDescription()
    {
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")));
        QCOMPARE(itemTexts(app.control<QListWidget>(QStringLiteral("lstFeatured"))),
                 (QStringList{"ZipMaster - Best archiver of the year", "Disk Tool - ", "Tool - Pro Edition - Cut at the first spaced dash",
                              "Missing Title - No software row has this name", "Don't Panic - A quote in the featured name",
                              "Orphan Site Tool - Its site has no row"}));
    }

    void shouldKeepTheWindowAsDesignedWhenStartUpCannotRead_data()
    {
        QTest::addColumn<Catalog>("catalog");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("fault");  // "": no prompt
        const QByteArray basic = fixtureBytes(QStringLiteral("basic.mdb"));
        QByteArray garbled = basic;
        garbled.replace(2 * 4096, 2 * 4096, QByteArray(2 * 4096, char(0xA5)));  // the system catalog
        QTest::newRow("empty tables") << Catalog(fixtureBytes(QStringLiteral("empty-tables.mdb"))) << int(vbNo) << "";
        QTest::newRow("missing, Yes") << Catalog() << int(vbYes) << "missing";
        QTest::newRow("missing, No") << Catalog() << int(vbNo) << "missing";
        QTest::newRow("usage map of length 0")
            << Catalog(fixtureBytes(QStringLiteral("hostile/usage_map_len0_page2.mdb"))) << int(vbYes) << "damaged";
        QTest::newRow("empty file") << Catalog(QByteArray()) << int(vbYes) << "damaged";
        QTest::newRow("cut inside a page") << Catalog(basic.left(10 * 4096 + 123)) << int(vbNo) << "damaged";
        QTest::newRow("garbled system catalog") << Catalog(garbled) << int(vbYes) << "damaged";
    }
    void shouldKeepTheWindowAsDesignedWhenStartUpCannotRead()
    {
        QFETCH(Catalog, catalog);
        QFETCH(int, answer);
        QFETCH(QString, fault);
        LoadedMainWindow app(catalog, nullptr, answer);
        const frmMain &w = *app.window;
        const QString address = frmMain::dataAccessDownloadAddress();
        const QString tail = QStringLiteral("\r\n") + kMdacSentence + address + QStringLiteral(" now?");
        const auto &calls = app.fakes.messages.calls;

        QCOMPARE(calls.size(), fault.isEmpty() ? 0 : 1);
        QVERIFY(fault.isEmpty() || (calls[0].style == vbYesNo && calls[0].title == QStringLiteral("Confirmation Message")));
        if (fault == QLatin1String("missing"))
            QCOMPARE(calls[0].prompt, QStringLiteral("-2147467259 : Could not find file '")
                                          + QDir(app.appDir.path()).filePath(QStringLiteral("shareware.mdb")) + "'." + tail);
        if (fault == QLatin1String("damaged"))  // a description of its own, then the offer
            QVERIFY2(calls[0].prompt.startsWith(QStringLiteral("-2147467259 : ")) && calls[0].prompt.endsWith(tail)
                         && !calls[0].prompt.contains(QStringLiteral("find file")) && calls[0].prompt.size() > tail.size() + 24,
                     qPrintable(calls[0].prompt));
        QCOMPARE(app.fakes.desktop.opened, answer == vbYes ? QVector<QUrl>{QUrl(address)} : QVector<QUrl>{});
        // Element 0 as designed, nothing listed; the window still opens.
        QCOMPARE(w.lblCategoryCount(), 1);
        QCOMPARE(w.lblCategory(0)->text(), QString());
        QCOMPARE(twipsPos(w.lblCategory(0)), QPoint(240, 1560));
        QCOMPARE(twipsPos(w.lstSubCategory(0)), QPoint(240, 1800));
        QCOMPARE(w.lstSubCategory(0)->count() + w.lstSubCategoryIDs(0)->count()
                     + app.control<QListWidget>(QStringLiteral("lstFeatured"))->count(), 0);
        app.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.window.get()));
    }
};

QTEST_MAIN(TestFrmMainStartUp)
#include "test_frm_main_start_up.moc"
