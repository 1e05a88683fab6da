#include "jet/layout.h"
#include "tests/support/built_catalog.h"
#include "tests/support/main_window_fixture.h"

namespace {

using Catalog = std::optional<QByteArray>;  // no file when absent

const QString kMdacSentence = QStringLiteral("Unable to open database. You may need to install Microsoft Data Access Components 2.8 "
                                             "(MDAC). You may download this free from Microsoft's web site. Do you want to go to ");

QPoint twipsPos(const QWidget *widget) { return twips::geometry(widget).topLeft().toPoint(); }

/// The format of a catalog's bytes, from its header.
const jet::layout::Format &formatOf(const QByteArray &file)
{
    const jet::layout::Format *f = file.size() > int(jet::layout::kVersionOffset)
                                       ? jet::layout::formatOf(reinterpret_cast<const unsigned char *>(file.constData()))
                                       : nullptr;
    return f ? *f : *jet::layout::writtenFormat("jet4");
}
const jet::layout::Layout &layoutOf(const QByteArray &file) { return *formatOf(file).layout; }

// The catalog built again from its table script (in the fixture's own format), with one value
// Null: the field `column` of the row that holds `text`. Empty when no row holds it.
QByteArray catalogWithNull(const QString &catalog, const QString &text, int column)
{
    const QByteArray field = text.toUtf8();
    bool found = false;
    const QString script = QString(catalog).replace(QLatin1String(".mdb"), QLatin1String(".txt"));
    const QByteArray bytes = builtCatalog(script, formatOf(fixtureBytes(catalog)), [&](QByteArray &line) {
        QList<QByteArray> fields = line.mid(4).split('\t');
        if (found || !line.startsWith("ROW ") || !fields.contains(field))
            return;
        fields[column] = "\\N";
        line = "ROW " + fields.join('\t');
        found = true;
    });
    return found ? bytes : QByteArray();
}

// One category as start-up lists it; its label lies 250 twips above its list.
struct Category {
    QString catalog;
    QString nullIn;  // a subcategory whose value in nullColumn is made Null first
    int count, index;
    QString caption;
    QPoint listAt;
    QStringList names, ids;
    int nullColumn = 2;  // Name; 1 is CategoryID (0 the row's SubCategoryID)
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
        QTest::newRow("empty category") << Category{"basic.mdb", "", 11, 10, "Empty Shelf", {240, 5560}, {}, {}};
        QTest::newRow("Null subcategory name") << Category{"basic.mdb", "Archivers", 11, 3, "Utilities", {7740, 1560},
                                                           {"Backup", "Disk Tools", "", "File Managers"}, {"8", "9", "10", "11"}};
        QTest::newRow("Null CategoryID inside a run") << Category{"basic.mdb", "Disk Tools", 11, 3, "Utilities", {7740, 1560},
                                                                  {"Backup", "Disk Tools", "Archivers", "File Managers"},
                                                                  {"8", "9", "10", "11"}, 1};
        QTest::newRow("first run only") << Category{"split-runs.mdb", "", 3, 0, "First", {240, 1560}, {"One-A", "One-B"}, {"1", "2"}};
        // Past twelve categories the browser scrolls, its rows 1260 twips up in the scrolled area.
        QTest::newRow("row 16") << Category{"many-categories.mdb", "", 85, 79, "Category 80", {10240, 30300}, {"Sub 80"}, {"80"}};
        QTest::newRow("row 17, past 16 bits") << Category{"many-categories.mdb", "", 85, 80, "Category 81", {240, 32300},
                                                          {"Sub 81"}, {"81"}};
    }
    void shouldBuildTheCategoryBrowser()
    {
        QFETCH(Category, expected);
        const QByteArray bytes = expected.nullIn.isEmpty() ? fixtureBytes(expected.catalog)
                                                           : catalogWithNull(expected.catalog, expected.nullIn, expected.nullColumn);
        QVERIFY(!bytes.isEmpty());
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

    // Every control as the layout places it, caption included; auto-sized links keep only
    // their place (-1). Category i lies in column i mod 5, row i div 5.
    void shouldLayBasicOutControlByControl_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twipsRect");
        const auto row = [](const QString &name, const QString &caption, QRect r) {
            QTest::newRow(qPrintable(name)) << caption << r;
        };
        row("lstFeatured", "", {5280, 5520, 7455, 1620});
        row("cmdClose", "&Exit", {12000, 7320, 735, 375});
        row("lstSubCategoryIDs_0", "", {3000, 1800, 1215, 450});
        row("cmdGo", "&GO", {4080, 240, 615, 375});
        row("txtSearch", "", {1080, 300, 2895, 315});
        row("Label4", "Top Software List", {5280, 5280, 2055, 255});
        row("Label3", "Visit www.quorbix.example for great Window's Software", {5760, 240, -1, -1});
        row("Label2", "Select a Category or Subcategory", {240, 960, 3975, 255});
        row("Label1", "Search", {240, 360, 735, 255});
        for (int i = 0; i < kBasicCategories.size(); ++i) {
            const int left = 240 + 2500 * (i % 5), top = 1560 + 2000 * (i / 5);
            row(QStringLiteral("lblCategory_%1").arg(i), kBasicCategories[i], {left, top - 250, -1, -1});
            row(QStringLiteral("lstSubCategory_%1").arg(i), "", {left, top, 2415, 1620});
        }
    }
    void shouldLayBasicOutControlByControl()
    {
        QFETCH(QString, caption);
        QFETCH(QRect, twipsRect);
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")));
        QVERIFY(!app.window->browserArea());
        QCOMPARE(app.window->lblCategoryCount(), 11);
        QCOMPARE(app.window->windowTitle(), QStringLiteral("Vantarel ver 2.0"));
        const QWidget *control = app.control(QTest::currentDataTag());
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), app.window.get());
        QRect r = twips::geometry(control).toRect();
        if (twipsRect.width() < 0)
            r.setSize({-1, -1});
        QCOMPARE(r, twipsRect);
        QString text;
        if (auto *label = qobject_cast<const QLabel *>(control))
            text = label->text();
        if (auto *button = qobject_cast<const QPushButton *>(control))
            text = button->text();
        QCOMPARE(text, caption);
    }

    void shouldReachEveryCategoryOfAManyCategoryCatalog()
    {
        LoadedMainWindow app(fixtureBytes(QStringLiteral("many-categories.mdb")));
        frmMain &w = *app.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QScrollArea *area = w.browserArea();
        QVERIFY(area);
        // No control covers another, nor the featured list, its heading or Exit.
        QList<QWidget *> controls;
        for (QWidget *child : w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() && child->objectName() != QLatin1String("focusRing"))
                controls << child;
        QCOMPARE(controls.size(), 9);  // the eight fixed controls and the browser area
        for (QWidget *category : area->widget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (category->isVisible())
                controls << category;
        QCOMPARE(controls.size(), 9 + 2 * 85);
        // The design's own controls are left as they are laid out (Label4's box reaches one
        // pixel into the featured list); the browser covers none of them.
        for (int a = 0; a < controls.size(); ++a)
            for (int b = std::max(a + 1, 8); b < controls.size(); ++b)
                QVERIFY2(controls[a]->parentWidget() != controls[b]->parentWidget()
                             || !controls[a]->geometry().intersects(controls[b]->geometry()),
                         qPrintable(controls[a]->objectName() + " over " + controls[b]->objectName()));
        QVERIFY(area->geometry().bottom() < app.control(QStringLiteral("Label4"))->geometry().top());

        // Scrolled to it, each name is what the pointer finds there, and its click lists it.
        for (int i = 0; i < w.lblCategoryCount(); ++i) {
            LinkLabel *label = w.lblCategory(i);
            area->ensureWidgetVisible(label);
            const QPoint centre = label->mapTo(&w, label->rect().center());
            QCOMPARE(w.childAt(centre), label);
            QVERIFY(area->viewport()->rect().contains(
                area->viewport()->mapFrom(&w, w.lstSubCategory(i)->mapTo(&w, QPoint(1, 1)))));
            QTest::mouseClick(label, Qt::LeftButton);
            QCOMPARE(strListingTitle, QStringLiteral("Category %1").arg(i + 1));
        }
        // The focus brings a category into view whole, its name with its list, and an arrow
        // that the list cannot use leaves it there.
        for (const int i : {84, 0, 42}) {
            w.lstSubCategory(i)->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w.lstSubCategory(i), Qt::Key_Down);  // past the end of a one-item list
            const QRect cell = w.lblCategory(i)->geometry().united(w.lstSubCategory(i)->geometry());
            QVERIFY2(QRect(-area->widget()->pos(), area->viewport()->size()).contains(cell), qPrintable(QString::number(i)));
        }
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
        const int page = int(layoutOf(basic).pageSize);
        garbled.replace(2 * page, 2 * page, QByteArray(2 * page, char(0xA5)));  // the system catalog
        QTest::newRow("empty tables") << Catalog(fixtureBytes(QStringLiteral("empty-tables.mdb"))) << int(vbNo) << "";
        QTest::newRow("missing, Yes") << Catalog() << int(vbYes) << "missing";
        QTest::newRow("usage map of length 0")
            << Catalog(fixtureBytes(QStringLiteral("hostile/usage_map_len0_page2.mdb"))) << int(vbYes) << "damaged";
        QTest::newRow("empty file") << Catalog(QByteArray()) << int(vbYes) << "damaged";
        QTest::newRow("cut inside a page") << Catalog(basic.left(10 * page + 123)) << int(vbNo) << "damaged";
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
                                          + QDir::toNativeSeparators(QDir(app.appDir.path()).filePath(QStringLiteral("shareware.mdb")))
                                          + "'." + tail);
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
