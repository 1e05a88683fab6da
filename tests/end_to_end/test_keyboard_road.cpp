#include "tests/support/main_window_fixture.h"
#include "window_services/focus_ring.h"

namespace {

// Keys as the user types them: "Tab*3 Down Backtab Enter KeypadEnter Space Escape".
void press(const QString &keys)
{
    static const QMap<QString, Qt::Key> kKeys{{"Tab", Qt::Key_Tab},       {"Backtab", Qt::Key_Backtab},
                                              {"Enter", Qt::Key_Return},  {"Space", Qt::Key_Space},
                                              {"Down", Qt::Key_Down},     {"Escape", Qt::Key_Escape},
                                              {"KeypadEnter", Qt::Key_Enter}};
    for (const QString &step : keys.split(' ', Qt::SkipEmptyParts)) {
        const int times = step.contains('*') ? step.section('*', 1).toInt() : 1;
        for (int i = 0; i < times; ++i) {
            QWidget *focus = QApplication::focusWidget();
            QVERIFY2(focus, qPrintable(step));
            const Qt::Key key = kKeys.value(step.section('*', 0, 0));
            QTest::keyClick(focus, key == Qt::Key_Backtab ? Qt::Key_Tab : key,
                            key == Qt::Key_Backtab ? Qt::ShiftModifier
                            : key == Qt::Key_Enter ? Qt::KeypadModifier
                                                   : Qt::NoModifier);
        }
    }
}

QString focused()
{
    const QWidget *focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}


}  // namespace

class TestKeyboardRoad : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initWindowTests(); }

    // Keys in the main window, then the one that opens the request (it has the focus);
    // in the results window the keys that pick a row, then Tab out of the grid and back, then
    // Enter; in the detail window the keys to a link, which opens the address.
    void shouldTakeTheWholeRoadWithoutTheMouse_data()
    {
        QTest::addColumn<QString>("mainKeys");
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("listing");  // the results window's caption and count; "" for none
        QTest::addColumn<QString>("gridKeys");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detailKeys");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("address");
        const QList<QStringList> roads{
            {"category name", "Tab*5 Enter", "lblCategory_3", "Utilities|10 records", "Down*3", "Backup Buddy",
             "Tab*4 Enter", "lblScreen", "http://x.example/bb.png"},
            {"category name, Space", "Tab*2 Space", "lblCategory_0", "Business|1 records", "", "Ledger Lite",
             "Tab*4 Space", "lblCompany", "http://www.nordwell-labs.example/"},
            {"subcategory", "Tab*16 Down*3 Enter", "lstSubCategory_3", "Utilities > Archivers|5 records", "Down*4",
             "ZipMaster", "Tab*5 Enter", "lblDownload1", "http://dl1.example/zip.exe"},
            {"featured title", "Backtab Space Enter", "lstFeatured", "", "", "ZipMaster", "Tab*8 Enter", "lblBuy",
             "http://buy.example/zip"},
            // In a list with nothing selected the first Down chooses the first item.
            {"subcategory, the first", "Tab*16 Down Enter", "lstSubCategory_3", "Utilities > Backup|1 records", "",
             "Backup Buddy", "Tab*4 Enter", "lblScreen", "http://x.example/bb.png"},
            {"featured title, Down", "Backtab Down Enter", "lstFeatured", "", "", "ZipMaster", "Tab*8 Enter", "lblBuy",
             "http://buy.example/zip"},
            {"nothing selected: GO", "Tab*13 Enter", "lstSubCategory_0", "Search Results for ''|39 records", "Down*2",
             "Arcade Title 15", "Tab*4 Enter", "lblDownload1", "http://games.example/15"}};
        // The keypad's Enter opens what Enter opens; a road begun with it opens the grid's
        // row with it too.
        for (const bool keypad : {false, true}) {
            for (QStringList road : roads) {
                if (keypad && !road[1].endsWith("Enter"))
                    continue;
                if (keypad) {
                    road[0] += ", keypad Enter";
                    road[1].replace("Enter", "KeypadEnter");
                    road[6].replace("Enter", "KeypadEnter");
                }
                QTestData &row = QTest::newRow(qPrintable(road[0]));
                for (const QString &column : road.mid(1))
                    row << column;
            }
        }
    }
    void shouldTakeTheWholeRoadWithoutTheMouse()
    {
        QFETCH(QString, mainKeys);
        QFETCH(QString, opener);
        QFETCH(QString, listing);
        QFETCH(QString, gridKeys);
        QFETCH(QString, title);
        QFETCH(QString, detailKeys);
        QFETCH(QString, link);
        QFETCH(QString, address);
        ModalDialogs dialogs;
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")), &dialogs);
        app.window->show();
        QVERIFY(QTest::qWaitFor([&app] { return QApplication::activeWindow() == app.window.get(); }));
        QStringList seen;

        const auto detail = [&](QDialog &form) {
            // Another window than the detail one (a wrong key opened a listing) is named, not read.
            const auto *name = form.findChild<QLineEdit *>(QStringLiteral("txtName"));
            seen << (name ? name->text() : form.objectName()) << focused();
            press(detailKeys.section(' ', 0, -2));
            seen << focused() << (focus_ring::framedControl(&form) == QApplication::focusWidget() ? "framed" : "");
            press(detailKeys.section(' ', -1));
            seen << (app.fakes.desktop.opened.isEmpty() ? QString() : app.fakes.desktop.opened.last().toString());
            press(QStringLiteral("Escape"));
        };
        if (!listing.isEmpty()) {
            dialogs.steps.enqueue([&](QDialog &form) {
                seen << form.windowTitle() + '|' + form.findChild<QLabel *>(QStringLiteral("lblOrg"))->text()
                     << focused();
                press(gridKeys + QStringLiteral(" Tab"));
                seen << focused();
                press(QStringLiteral("Backtab"));
                seen << focused() << (focus_ring::framedControl(&form) == QApplication::focusWidget() ? "framed" : "")
                     << QString::number(form.findChild<QTableView *>()->currentIndex().row());
                dialogs.steps.enqueue(detail);
                press(mainKeys.endsWith(QLatin1String("KeypadEnter")) ? QStringLiteral("KeypadEnter") : QStringLiteral("Enter"));
            });
        } else {
            dialogs.steps.enqueue(detail);
        }
        press(mainKeys.section(' ', 0, -2));
        seen << focused() << (focus_ring::framedControl(app.window.get()) == QApplication::focusWidget() ? "framed" : "");
        press(mainKeys.section(' ', -1));

        QStringList expected{opener, "framed"};
        if (!listing.isEmpty())
            expected << listing << "dtgOrg" << "cboField" << "dtgOrg" << "framed" << QString::number(gridKeys.count("Down") ? gridKeys.section('*', 1).toInt() : 0);
        expected << title << "txtDescription" << link << "framed" << address;
        QCOMPARE(seen, expected);
        QCOMPARE(app.fakes.desktop.opened, QVector<QUrl>{QUrl(address)});
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(app.fakes.messages.calls.isEmpty());
    }

    // The frame shows where the keyboard is, and goes at a mouse press.
    void shouldFrameTheFocusOnlyForTheKeyboard()
    {
        LoadedMainWindow app(fixtureBytes(QStringLiteral("basic.mdb")));
        frmMain *w = app.window.get();
        w->show();
        QVERIFY(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
        QTest::mouseClick(app.control(QStringLiteral("txtSearch")), Qt::LeftButton);
        QCOMPARE(focus_ring::framedControl(w), nullptr);  // as a mouse user finds it
        press(QStringLiteral("Tab*3"));
        QCOMPARE(focus_ring::framedControl(w), w->lblCategory(1));
        auto *list = w->lstSubCategory(2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(QApplication::focusWidget(), list);
        QCOMPARE(focus_ring::framedControl(w), nullptr);
        press(QStringLiteral("Down"));
        QCOMPARE(focus_ring::framedControl(w), list);
        const QRect frame = w->findChild<QWidget *>(QStringLiteral("focusRing"))->geometry();
        QVERIFY(frame.contains(list->geometry()) && frame != list->geometry());
    }
};

QTEST_MAIN(TestKeyboardRoad)
#include "test_keyboard_road.moc"
