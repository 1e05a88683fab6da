#include "catalog/listing/query.h"
#include "catalog/shared_state.h"
#include "detail_window/frm_detail.h"
#include "tests/support/built_catalog.h"
#include "tests/support/fake_services.h"
#include "tests/support/fixture_catalog.h"
#include "window_services/cut_label.h"
#include "window_services/field_text.h"
#include "window_services/link_label.h"
#include "window_services/twips.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const char *const kLinkNames[] = {"lblScreen", "lblDownload1", "lblDownload2",
                                  "lblDownload3", "lblBuy", "lblCompany"};
const QLocale kUs(QLocale::English, QLocale::UnitedStates);

// Opens rsSoftware on one title, as the featured road does.
bool openTitle(const QString &name)
{
    rsSoftware = std::make_shared<ado::Recordset>();
    rsSoftware->CursorLocation = ado::adUseClient;
    return !rsSoftware->Open(listing::singleTitleSql(name), cnCatalog, ado::adOpenStatic,
                             ado::adLockReadOnly, ado::adCmdText)
           && rsSoftware->RecordCount() == 1;
}

QString text(const QWidget &form, const char *name)
{
    if (auto *line = form.findChild<QLineEdit *>(name))
        return line->text();
    if (auto *label = form.findChild<QLabel *>(name))
        return label->text();
    return form.findChild<QPlainTextEdit *>(name)->toPlainText().remove('\r');
}

}  // namespace

class TestFrmDetail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        fixLocale();
        QVERIFY(openFixtureCatalog("basic.mdb"));
    }

    // Amounts no fixture title holds (the window shows each after "Price: "), and dates as
    // General Date.
    void shouldWriteMoneyAndDatesAtTheEdges_data()
    {
        QTest::addColumn<QVariant>("value");  // a date and time, else an amount
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("Null") << QVariant() << kUs << "";
        QTest::newRow("negative rounding to zero") << QVariant(-0.004) << kUs << "$0.00";
        QTest::newRow("negative rounding to a cent") << QVariant(-0.006) << kUs << "-$0.01";
        QTest::newRow("largest money, no exponent") << QVariant(922337203685477.0) << kUs << "$922,337,203,685,477.00";
        QTest::newRow("user's separators, negative") << QVariant(-1234567.891) << QLocale(QLocale::German, QLocale::Germany)
                                                     << "-$1.234.567,89";
        QTest::newRow("user's grouping") << QVariant(1234567.0) << QLocale(QLocale::English, QLocale::India) << "$12,34,567.00";
        QTest::newRow("not a number") << QVariant("n/a") << kUs << "n/a";
        QTest::newRow("the largest Large Number, every digit") << QVariant(std::numeric_limits<qlonglong>::max()) << kUs
                                                               << "$9,223,372,036,854,775,807.00";
        QTest::newRow("the smallest Large Number") << QVariant(std::numeric_limits<qlonglong>::min()) << kUs
                                                   << "-$9,223,372,036,854,775,808.00";
        QTest::newRow("date and time") << QVariant(QDateTime(QDate(2019, 5, 17), QTime(21, 3, 17))) << kUs << "5/17/2019 9:03:17 PM";
        QTest::newRow("midnight: the date alone") << QVariant(QDateTime(QDate(2019, 5, 17), QTime(0, 0))) << kUs << "5/17/2019";
        QTest::newRow("day zero: the time alone") << QVariant(QDateTime(QDate(1899, 12, 30), QTime(6, 0))) << kUs << "6:00:00 AM";
        QTest::newRow("day zero at midnight") << QVariant(QDateTime(QDate(1899, 12, 30), QTime(0, 0))) << kUs << "12/30/1899";
        QTest::newRow("the year in full") << QVariant(QDateTime(QDate(1, 1, 1), QTime(0, 0, 1))) << kUs << "1/1/0001 12:00:01 AM";
        QTest::newRow("the user's order") << QVariant(QDateTime(QDate(2019, 5, 17), QTime(21, 3, 17)))
                                          << QLocale(QLocale::German, QLocale::Germany) << "17.05.2019 21:03:17";
    }
    void shouldWriteMoneyAndDatesAtTheEdges()
    {
        QFETCH(QVariant, value);
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QLocale::setDefault(locale);
        const QString shown = value.typeId() == QMetaType::QDateTime ? fieldText(value) : moneyText(value);
        QLocale::setDefault(kUs);
        QCOMPARE(shown, text);
    }

    // Texts: "control=text". Links: the shown ones, "name=address". Each title is shown
    // after ZipMaster, whose six links must not stay behind, then closed by closeBy.
    void shouldShowTheTitleAndOpenItsLinks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("closeBy");
        QTest::newRow("all fields") << "ZipMaster" << kUs << QStringList{
            "lblPrice=Price: $29.95", "lblType=Type: Shareware", "lblUninstaller=Uninstaller: Yes",
            "lblRating=Rating: 4 out of 5", "lblRequirements=Requirements: Windows 95 or later",
            "lblLimitations=Limitations: 30-day trial", "lblCompany=Nordwell Labs",
            "txtCoDescription=Small utilities since 1996."} << QStringList{
            "lblScreen=http://www.nordwell-labs.example/zip.png",
            "lblDownload1=http://dl1.example/zip.exe", "lblDownload2=http://dl2.example/zip.exe",
            "lblDownload3=http://dl3.example/zip.exe", "lblBuy=http://buy.example/zip",
            "lblCompany=http://www.nordwell-labs.example/"} << "cmdCancel";
        QTest::newRow("null rating, a million") << "Backup Buddy" << kUs << QStringList{
            "lblPrice=Price: $1,500,000.00", "lblRating=Rating:  out of 5", "lblUninstaller=Uninstaller: No",
            "txtCoDescription=Makers of office tools.\nTwo lines."} << QStringList{
            "lblScreen=http://x.example/bb.png", "lblBuy=http://buy.example/bb",
            "lblCompany=http://brightline.example/"} << "Escape";
        QTest::newRow("zero-length address") << "ArcView Zip" << kUs << QStringList{
            "lblPrice=Price: $0.00", "lblType=Type: Freeware", "lblCompany=Brightline Software"}
            << QStringList{"lblDownload1=http://dl1.example/arcview.exe", "lblDownload2=",
                           "lblCompany=http://brightline.example/"} << "close box";
        QTest::newRow("null requirements and limitations") << "Ledger Lite" << kUs << QStringList{
            "lblRequirements=Requirements: ", "lblLimitations=Limitations: "}
            << QStringList{"lblCompany=http://www.nordwell-labs.example/"} << "Return:cmdCancel";
        QTest::newRow("grouped price") << "Disk Tool" << kUs << QStringList{"lblPrice=Price: $1,234.50"}
            << QStringList{"lblCompany=http://www.nordwell-labs.example/"} << "Return:txtDescription";
        QTest::newRow("user's separators") << "Disk Tool" << QLocale(QLocale::German, QLocale::Germany)
            << QStringList{"lblPrice=Price: $1.234,50"}
            << QStringList{"lblCompany=http://www.nordwell-labs.example/"} << "Return:txtName";
        QTest::newRow("nameless company") << "Nameless Co Tool" << kUs
            << QStringList{"lblCompany=Company Web Site"} << QStringList{} << "Return:txtCoDescription";
        QTest::newRow("company without address") << "Pixel Paint" << kUs
            << QStringList{"lblCompany=Quiet Pixel"} << QStringList{
            "lblScreen=http://qp.example/shot.png", "lblDownload1=http://qp.example/pp.exe",
            "lblCompany="} << "cmdCancel";
        QTest::newRow("quote in company") << "Don't Panic" << kUs
            << QStringList{"lblCompany=O'Malley & Sons"} << QStringList{
            "lblDownload1=http://dl.example/dp.exe", "lblCompany=http://omalley.example/"} << "Escape";
        QTest::newRow("no current record") << "" << kUs
            << QStringList{"lblPrice=Price:", "lblRating=Rating:"} << QStringList{} << "close box";
        // The keypad's Enter closes by Close and, after Enter, is no command in a text box either.
        QTest::newRow("keypad Enter on Close") << "Ledger Lite" << kUs << QStringList{}
            << QStringList{"lblCompany=http://www.nordwell-labs.example/"} << "KeypadEnter:cmdCancel";
    }
    // Each fact shows whole where it fits; one that does not is cut with an ellipsis and
    // offers its whole text as its tooltip and accessible description. The price takes the
    // free room beside it, so a million shows whole.
    void shouldShowEachFactWholeOrSayItIsCut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("longText");  // put in after the load; "" for the title's own
        QTest::addColumn<bool>("cut");
        QTest::newRow("a million") << "Backup Buddy" << "lblPrice" << "" << false;
        QTest::newRow("a million: the type beside it") << "Backup Buddy" << "lblType" << "" << false;
        QTest::newRow("requirements that fit") << "ZipMaster" << "lblRequirements" << "" << false;
        QTest::newRow("long requirements") << "ZipMaster" << "lblRequirements"
            << "Requirements: Windows 98, ME, 2000 or XP, 64 MB of memory, 20 MB of disk space and Internet Explorer 5.5 or later"
            << true;
        QTest::newRow("long limitations") << "ZipMaster" << "lblLimitations"
            << "Limitations: 30-day trial, no saving of archives over 10 MB, a reminder at every start, and "
               "every page printed during the trial carries a watermark"
            << true;
        QTest::newRow("long rating") << "ZipMaster" << "lblRating" << "Rating: 4 out of 5, and more words than fit" << true;
    }
    void shouldShowEachFactWholeOrSayItIsCut()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(QString, longText);
        QFETCH(bool, cut);
        FakeServices fakes;
        QVERIFY(openTitle(name));
        fakes.dialogs.steps.enqueue([&](QDialog &form) {
            auto *shown = form.findChild<CutLabel *>(label);
            QVERIFY(shown);
            if (!longText.isEmpty())
                shown->setText(longText);
            const QString whole = shown->text();
            const bool fits = shown->fontMetrics().horizontalAdvance(whole) <= shown->contentsRect().width();
            QCOMPARE(!fits, cut);
            QCOMPARE(shown->isCut(), cut);
            QCOMPARE(shown->toolTip(), cut ? whole : QString());
            QCOMPARE(shown->accessibleDescription(), cut ? whole : QString());
            if (cut) {  // the text's start is drawn, pixel for pixel as a label drawing it whole, up to the ellipsis
                QLabel uncut(whole, shown->parentWidget());
                uncut.setGeometry(shown->geometry());
                uncut.setAlignment(shown->alignment());
                uncut.setContentsMargins(shown->contentsMargins());
                const QString drawn = shown->fontMetrics().elidedText(whole, Qt::ElideRight, shown->contentsRect().width());
                const int start = shown->contentsRect().left() + shown->fontMetrics().horizontalAdvance(drawn.chopped(1)) - 2;
                const QRect head(0, 0, start, shown->height());
                QVERIFY(start > shown->width() / 2);
                QCOMPARE(shown->grab().toImage().copy(head), uncut.grab().toImage().copy(head));
            }
            // However wide the price, the type stands the designed gap (1560 - 120 - 1335 twips) right of it.
            const auto *price = form.findChild<QLabel *>("lblPrice"), *type = form.findChild<QLabel *>("lblType");
            QCOMPARE(type->x() - price->geometry().right() - 1,
                     twips::toPixels(1560) - twips::toPixels(120) - twips::toPixels(1335));
            // Nothing is drawn over the next fact in the row.
            for (const char *other : {"lblPrice", "lblType", "lblUninstaller", "lblRating"}) {
                const auto *next = form.findChild<QLabel *>(other);
                if (next != shown && next->y() == shown->y())
                    QVERIFY2(!next->geometry().intersects(shown->geometry()), other);
            }
        });
        showDetailWindow(fakes.services, nullptr);
        QCOMPARE(fakes.dialogs.shown, QStringList{"frmDetail"});
    }

    void shouldShowTheTitleAndOpenItsLinks()
    {
        QFETCH(QString, name);
        QFETCH(QLocale, locale);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, links);
        QFETCH(QString, closeBy);
        FakeServices fakes;
        QVERIFY(openTitle("ZipMaster"));
        fakes.dialogs.steps.enqueue([](QDialog &) {});
        showDetailWindow(fakes.services, nullptr);
        QVERIFY(openTitle(name.isEmpty() ? "ZipMaster" : name));
        if (name.isEmpty())
            rsSoftware->setFilter("Name = 'nothing'");
        QLocale::setDefault(locale);
        fakes.pointer.history.clear();
        QStringList shownTexts, shown, clicked, entered, keypadEntered, spaced;
        fakes.dialogs.steps.enqueue([&](QDialog &form) {
            shownTexts << form.windowTitle() << text(form, "txtName") << text(form, "txtDescription");
            for (const QString &expected : texts)
                shownTexts << expected.section('=', 0, 0) + '='
                                  + text(form, qPrintable(expected.section('=', 0, 0)));
            for (const char *name : kLinkNames) {
                auto *link = form.findChild<LinkLabel *>(name);
                if (!link->isVisible())
                    continue;
                shown << QString(name) + '=' + link->toolTip();
                const qsizetype before = fakes.desktop.opened.size();
                QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
                // An empty address opens nothing.
                clicked << QString(name) + '=' + fakes.desktop.opened.mid(before).value(0).toString();
                // Enter, the keypad's Enter and Space open a link that has the focus as its
                // click does.
                for (QStringList *keyed : {&entered, &keypadEntered, &spaced}) {
                    const qsizetype at = fakes.desktop.opened.size();
                    if (keyed == &keypadEntered)
                        QTest::keyClick(link, Qt::Key_Enter, Qt::KeypadModifier);
                    else
                        QTest::keyClick(link, keyed == &entered ? Qt::Key_Return : Qt::Key_Space);
                    *keyed << QString(name) + '=' + fakes.desktop.opened.mid(at).value(0).toString();
                }
                QVERIFY(form.isVisible());
            }
            if (closeBy == "cmdCancel")
                form.findChild<QPushButton *>("cmdCancel")->click();
            else if (closeBy == "Escape")
                QTest::keyClick(&form, Qt::Key_Escape);
            else if (closeBy == "close box")
                form.close();
            else {  // Enter or the keypad's on a control; in a text box both, one after the other
                QWidget *target = form.findChild<QWidget *>(qPrintable(closeBy.section(':', 1)));
                if (closeBy.startsWith("Return:"))
                    QTest::keyClick(target, Qt::Key_Return);
                if (!closeBy.startsWith("Return:cmd"))
                    QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
            }
            // Enter in a text box is no command.
            QCOMPARE(form.isVisible(), closeBy.startsWith("Return:txt"));
        });
        showDetailWindow(fakes.services, nullptr);
        QCOMPARE(shownTexts, QStringList({"Software Detail Screen", name,
                                          rsSoftware->value("Description").toString()})
                                 + texts);
        QCOMPARE(shown, links);
        QCOMPARE(clicked, links);
        QCOMPARE(entered, links);
        QCOMPARE(keypadEntered, links);
        QCOMPARE(spaced, links);
        QCOMPARE(fakes.pointer.history, QVector<int>({vbHourglass, vbDefault}));
    }

    // A catalog whose Price is a decimal, or saved in another format, shows the same money;
    // a price and a rating that Access calculated (an ACE 16 file) show as stored ones do.
    void shouldShowThePriceOfEveryCatalogFormatAsMoney_data()
    {
        QTest::addColumn<QString>("catalog");  // "calculated": basic.txt so built
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("shown");  // the price, then the rating if given
        QTest::newRow("decimal, grouped") << "wide-types.mdb" << "Disk Tool" << QStringList{"Price: $1,234.50"};
        QTest::newRow("decimal, a million") << "wide-types.mdb" << "Backup Buddy" << QStringList{"Price: $1,500,000.00"};
        QTest::newRow("decimal, cents") << "wide-types.mdb" << "ZipMaster" << QStringList{"Price: $29.95"};
        QTest::newRow("Access 2019 file") << "basic-ace17.accdb" << "Disk Tool" << QStringList{"Price: $1,234.50"};
        QTest::newRow("calculated") << "calculated" << "Disk Tool" << QStringList{"Price: $1,234.50", "Rating: 5 out of 5"};
        QTest::newRow("calculated, a Null rating") << "calculated" << "Backup Buddy"
                                                   << QStringList{"Price: $1,500,000.00", "Rating:  out of 5"};
    }
    void shouldShowThePriceOfEveryCatalogFormatAsMoney()
    {
        QFETCH(QString, catalog);
        QFETCH(QString, name);
        QFETCH(QStringList, shown);
        QTemporaryDir dir;
        const auto calculated = [](QByteArray &line) {
            if (line == "COLUMN Price MONEY" || line == "COLUMN Rating INT")
                line += " CALCULATED";
        };
        const bool opened = (catalog == "calculated" ? openCatalogBytes(builtCatalog(QStringLiteral("basic.txt"),
                                                                                     *jet::layout::writtenFormat("ace16"), calculated), dir)
                                                     : openFixtureCatalog(catalog))
                            && openTitle(name);
        QStringList seen;
        FakeServices fakes;
        fakes.dialogs.steps.enqueue([&](QDialog &form) { seen = {text(form, "lblPrice"), text(form, "lblRating")}; });
        if (opened)
            showDetailWindow(fakes.services, nullptr);
        QVERIFY(openFixtureCatalog("basic.mdb"));  // the other tests read basic.mdb
        QVERIFY(opened);
        QCOMPARE(seen.mid(0, shown.size()), shown);
    }
};

QTEST_MAIN(TestFrmDetail)
#include "test_frm_detail.moc"
