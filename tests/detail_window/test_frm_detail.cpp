#include "fake_services.h"
#include "field_text.h"
#include "fixture_catalog.h"
#include "frm_detail.h"
#include "link_label.h"
#include "listing_query.h"
#include "shared_state.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

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

// The shown links as "name=tooltip", in the load's order.
QStringList shownLinks(const QWidget &form)
{
    QStringList shown;
    for (const char *name : kLinkNames)
        if (auto *link = form.findChild<LinkLabel *>(name); link->isVisible())
            shown << QString(name) + "=" + link->toolTip();
    return shown;
}

// Shows the detail window of the open title through the recording services, runs `step` on it.
void showDetail(FakeServices &fakes, const std::function<void(QDialog &)> &step)
{
    fakes.dialogs.steps.enqueue(step);
    showDetailWindow(fakes.services, nullptr);
}

}  // namespace

class TestFrmDetail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(kUs);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(openFixtureCatalog("basic.mdb"));
    }
    void cleanup() { QLocale::setDefault(kUs); }

    void shouldFormatMoney_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("rounded to cents") << QVariant(2.999) << "$3.00";
        QTest::newRow("negative") << QVariant(-5.0) << "-$5.00";
        QTest::newRow("null") << QVariant() << "";
    }
    void shouldFormatMoney()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(moneyText(value), text);
    }

    void shouldShowTheTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("texts");
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("all fields") << "ZipMaster" << kUs << QStringList{
            "Price: $29.95", "Type: Shareware", "Uninstaller: Yes", "Rating: 4 out of 5",
            "Requirements: Windows 95 or later", "Limitations: 30-day trial",
            "Small utilities since 1996."};
        QTest::newRow("null rating, a million") << "Backup Buddy" << kUs << QStringList{
            "Price: $1,500,000.00", "Type: Trial", "Uninstaller: No", "Rating:  out of 5",
            "Requirements: Windows NT 4", "Limitations: Backs up 100 files",
            "Makers of office tools.\nTwo lines."};
        QTest::newRow("zero price") << "ArcView Zip" << kUs << QStringList{
            "Price: $0.00", "Type: Freeware", "Uninstaller: No", "Rating: 3 out of 5",
            "Requirements: Windows 98", "Limitations: None", "Makers of office tools.\nTwo lines."};
        QTest::newRow("null requirements and limitations") << "Ledger Lite" << kUs << QStringList{
            "Price: $19.95", "Type: Shareware", "Uninstaller: Yes", "Rating: 2 out of 5",
            "Requirements: ", "Limitations: ", "Small utilities since 1996."};
        QTest::newRow("grouped price") << "Disk Tool" << kUs << QStringList{
            "Price: $1,234.50", "Type: Shareware", "Uninstaller: Yes", "Rating: 5 out of 5",
            "Requirements: 486 or better", "Limitations: Nag screen", "Small utilities since 1996."};
        QTest::newRow("user's separators") << "Backup Buddy" << german << QStringList{
            "Price: $1.500.000,00", "Type: Trial", "Uninstaller: No", "Rating:  out of 5",
            "Requirements: Windows NT 4", "Limitations: Backs up 100 files",
            "Makers of office tools.\nTwo lines."};
    }
    void shouldShowTheTitle()
    {
        QFETCH(QString, name);
        QFETCH(QLocale, locale);
        QFETCH(QStringList, texts);
        QVERIFY(openTitle(name));
        QLocale::setDefault(locale);
        FakeServices fakes;
        QStringList shown;
        showDetail(fakes, [&](QDialog &form) {
            shown << form.windowTitle() << text(form, "txtName") << text(form, "txtDescription");
            for (const char *box : {"lblPrice", "lblType", "lblUninstaller", "lblRating",
                                    "lblRequirements", "lblLimitations", "txtCoDescription"})
                shown << text(form, box);
        });
        QCOMPARE(shown, QStringList({"Software Detail Screen", name,
                                     rsSoftware->value("Description").toString()}) + texts);
        QCOMPARE(fakes.pointer.history, QVector<int>({vbHourglass, vbDefault}));
    }

    void shouldShowAndOpenTheLinksThatArePresent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("company");
        QTest::newRow("all six") << "ZipMaster" << QStringList{
            "lblScreen=http://www.nordwell-labs.example/zip.png",
            "lblDownload1=http://dl1.example/zip.exe", "lblDownload2=http://dl2.example/zip.exe",
            "lblDownload3=http://dl3.example/zip.exe", "lblBuy=http://buy.example/zip",
            "lblCompany=http://www.nordwell-labs.example/"} << "Nordwell Labs";
        QTest::newRow("zero-length address") << "ArcView Zip" << QStringList{
            "lblDownload1=http://dl1.example/arcview.exe", "lblDownload2=",
            "lblCompany=http://brightline.example/"} << "Brightline Software";
        QTest::newRow("nameless company") << "Nameless Co Tool" << QStringList{} << "Company Web Site";
        QTest::newRow("company without address") << "Pixel Paint" << QStringList{
            "lblScreen=http://qp.example/shot.png", "lblDownload1=http://qp.example/pp.exe",
            "lblCompany="} << "Quiet Pixel";
        QTest::newRow("quote in company") << "Don't Panic" << QStringList{
            "lblDownload1=http://dl.example/dp.exe", "lblCompany=http://omalley.example/"}
            << "O'Malley & Sons";
    }
    void shouldShowAndOpenTheLinksThatArePresent()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, links);
        QFETCH(QString, company);
        QVERIFY(openTitle(name));
        FakeServices fakes;
        QStringList shown, clicked;
        showDetail(fakes, [&](QDialog &form) {
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            shown = shownLinks(form);
            for (const QString &link : shown) {
                auto *label = form.findChild<LinkLabel *>(link.section('=', 0, 0));
                const qsizetype before = fakes.desktop.opened.size();
                QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
                // An empty address opens nothing.
                clicked << link.section('=', 0, 0) + "="
                               + fakes.desktop.opened.mid(before).value(0).toString();
            }
            shown << form.findChild<LinkLabel *>("lblCompany")->text();
        });
        QCOMPARE(shown, links + QStringList{company});
        QCOMPARE(clicked, links);
    }

    void shouldShowOnlyTheLinksOfTheSecondTitle()
    {
        FakeServices fakes;
        QStringList secondLinks;
        QVERIFY(openTitle("ZipMaster"));
        showDetail(fakes, [](QDialog &) {});
        QVERIFY(openTitle("Ledger Lite"));
        showDetail(fakes, [&](QDialog &form) { secondLinks = shownLinks(form); });
        QCOMPARE(secondLinks, QStringList({"lblCompany=http://www.nordwell-labs.example/"}));
    }

    void shouldKeepTheLayoutWithoutACurrentRecord()
    {
        QVERIFY(openTitle("ZipMaster"));
        rsSoftware->setFilter("Name = 'nothing'");
        FakeServices fakes;
        QStringList shown;
        showDetail(fakes, [&](QDialog &form) {
            shown << text(form, "lblPrice") << text(form, "lblRating") << text(form, "txtName")
                  << shownLinks(form);
        });
        QCOMPARE(shown, QStringList({"Price:", "Rating:", ""}));
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }

    void shouldCloseOnlyOnItsCommands_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Close") << "button" << true;
        QTest::newRow("Escape") << "escape" << true;
        QTest::newRow("close box") << "close box" << true;
        QTest::newRow("Enter on Close") << "cmdCancel" << true;
        QTest::newRow("Enter in the description") << "txtDescription" << false;
        QTest::newRow("Enter in the name") << "txtName" << false;
    }
    void shouldCloseOnlyOnItsCommands()
    {
        QFETCH(QString, how);
        QFETCH(bool, closes);
        QVERIFY(openTitle("Disk Tool"));
        FakeServices fakes;
        bool closed = false;
        showDetail(fakes, [&](QDialog &form) {
            if (how == "button")
                form.findChild<QPushButton *>("cmdCancel")->click();
            else if (how == "escape")
                QTest::keyClick(&form, Qt::Key_Escape);
            else if (how == "close box")
                form.close();
            else
                QTest::keyClick(form.findChild<QWidget *>(how), Qt::Key_Return);
            closed = !form.isVisible();
        });
        QCOMPARE(closed, closes);
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }
};

QTEST_MAIN(TestFrmDetail)
#include "test_frm_detail.moc"
