#include "field_text.h"
#include "frm_detail.h"
#include "link_label.h"
#include "listing_query.h"
#include "fixture_catalog.h"
#include "shared_state.h"
#include "fake_services.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

const char *const kLinkNames[] = {"lblScreen", "lblDownload1", "lblDownload2",
                                  "lblDownload3", "lblBuy", "lblCompany"};

// Opens rsSoftware on one title, as the featured road does.
bool openTitle(const QString &name)
{
    auto rs = std::make_shared<ado::Recordset>();
    rs->CursorLocation = ado::adUseClient;
    rsSoftware = rs;
    return !rs->Open(listing::singleTitleSql(name), cnCatalog, ado::adOpenStatic,
                     ado::adLockReadOnly, ado::adCmdText)
           && rs->RecordCount() == 1;
}

struct Detail {
    FakeServices fakes;
    std::unique_ptr<frmDetail> form;

    QString label(const char *name) const { return form->findChild<QLabel *>(name)->text(); }
    QString text(const char *name) const
    {
        if (auto *line = form->findChild<QLineEdit *>(name))
            return line->text();
        return form->findChild<QPlainTextEdit *>(name)->toPlainText();
    }
    LinkLabel *link(const char *name) const { return form->findChild<LinkLabel *>(name); }
    // The shown links as "name=tooltip" pairs, in the load's order.
    QStringList shownLinks() const
    {
        QStringList shown;
        for (const char *name : kLinkNames) {
            if (link(name)->isVisible())
                shown << QString(name) + "=" + link(name)->toolTip();
        }
        return shown;
    }
};

std::unique_ptr<Detail> loadDetail()
{
    auto detail = std::make_unique<Detail>();
    detail->form = std::make_unique<frmDetail>(detail->fakes.services);
    detail->form->Form_Load();
    detail->form->show();
    if (!QTest::qWaitForWindowExposed(detail->form.get()))
        return nullptr;
    return detail;
}

}  // namespace

class TestFrmDetail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(openFixtureCatalog("basic.mdb"));
    }

    void shouldFormatMoney_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");

        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("grouped thousands") << QVariant(1234.5) << us << "$1,234.50";
        QTest::newRow("two group separators") << QVariant(1500000.0) << us << "$1,500,000.00";
        QTest::newRow("zero") << QVariant(0.0) << us << "$0.00";
        QTest::newRow("cents kept") << QVariant(19.95) << us << "$19.95";
        QTest::newRow("rounded to cents") << QVariant(2.999) << us << "$3.00";
        QTest::newRow("whole number") << QVariant(7) << us << "$7.00";
        QTest::newRow("negative") << QVariant(-5.0) << us << "-$5.00";
        QTest::newRow("null") << QVariant() << us << "";
        QTest::newRow("user's separators") << QVariant(1234.5) << german << "$1.234,50";
        QTest::newRow("user's separators, a million") << QVariant(1500000.0) << german
                                                      << "$1.500.000,00";
    }
    void shouldFormatMoney()
    {
        QFETCH(QVariant, value);
        QFETCH(QLocale, locale);
        QFETCH(QString, text);

        QLocale::setDefault(locale);
        const QString money = moneyText(value);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(money, text);
    }

    void shouldShowTheTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("companyDesc");

        QTest::newRow("all fields") << "ZipMaster"
            << QStringList{"Price: $29.95", "Type: Shareware", "Uninstaller: Yes",
                           "Rating: 4 out of 5", "Requirements: Windows 95 or later",
                           "Limitations: 30-day trial"}
            << "Small utilities since 1996.";
        QTest::newRow("null rating, a million") << "Backup Buddy"
            << QStringList{"Price: $1,500,000.00", "Type: Trial", "Uninstaller: No",
                           "Rating:  out of 5", "Requirements: Windows NT 4",
                           "Limitations: Backs up 100 files"}
            << "Makers of office tools.\r\nTwo lines.";
        QTest::newRow("zero price") << "ArcView Zip"
            << QStringList{"Price: $0.00", "Type: Freeware", "Uninstaller: No", "Rating: 3 out of 5",
                           "Requirements: Windows 98", "Limitations: None"}
            << "Makers of office tools.\r\nTwo lines.";
        QTest::newRow("null requirements and limitations") << "Ledger Lite"
            << QStringList{"Price: $19.95", "Type: Shareware", "Uninstaller: Yes", "Rating: 2 out of 5",
                           "Requirements: ", "Limitations: "}
            << "Small utilities since 1996.";
        QTest::newRow("grouped price") << "Disk Tool"
            << QStringList{"Price: $1,234.50", "Type: Shareware", "Uninstaller: Yes",
                           "Rating: 5 out of 5", "Requirements: 486 or better",
                           "Limitations: Nag screen"}
            << "Small utilities since 1996.";
    }
    void shouldShowTheTitle()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, captions);
        QFETCH(QString, companyDesc);

        QVERIFY(openTitle(name));
        auto d = loadDetail();
        QVERIFY(d);
        QCOMPARE(d->form->windowTitle(), QString("Software Detail Screen"));
        QCOMPARE(d->text("txtName"), name);
        QCOMPARE(d->text("txtDescription"), rsSoftware->value("Description").toString());
        QCOMPARE((QStringList{d->label("lblPrice"), d->label("lblType"), d->label("lblUninstaller"),
                              d->label("lblRating"), d->label("lblRequirements"),
                              d->label("lblLimitations")}),
                 captions);
        // The text box may keep a line break as "\n" alone.
        QCOMPARE(d->text("txtCoDescription").remove('\r'), companyDesc.remove('\r'));
        QCOMPARE(d->fakes.pointer.history, QVector<int>({vbHourglass, vbDefault}));
    }

    void shouldShowTheLinksThatArePresent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("company");

        QTest::newRow("all six") << "ZipMaster"
            << QStringList{"lblScreen=http://www.nordwell-labs.example/zip.png",
                           "lblDownload1=http://dl1.example/zip.exe",
                           "lblDownload2=http://dl2.example/zip.exe",
                           "lblDownload3=http://dl3.example/zip.exe", "lblBuy=http://buy.example/zip",
                           "lblCompany=http://www.nordwell-labs.example/"}
            << "Nordwell Labs";
        QTest::newRow("zero-length address") << "ArcView Zip"
            << QStringList{"lblDownload1=http://dl1.example/arcview.exe", "lblDownload2=",
                           "lblCompany=http://brightline.example/"}
            << "Brightline Software";
        QTest::newRow("nameless company") << "Nameless Co Tool" << QStringList{} << "Company Web Site";
        QTest::newRow("company without address") << "Pixel Paint"
            << QStringList{"lblScreen=http://qp.example/shot.png", "lblDownload1=http://qp.example/pp.exe",
                           "lblCompany="}
            << "Quiet Pixel";
        QTest::newRow("quote in company") << "Don't Panic"
            << QStringList{"lblDownload1=http://dl.example/dp.exe", "lblCompany=http://omalley.example/"}
            << "O'Malley & Sons";
    }
    void shouldShowTheLinksThatArePresent()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, links);
        QFETCH(QString, company);

        QVERIFY(openTitle(name));
        auto d = loadDetail();
        QVERIFY(d);
        QCOMPARE(d->shownLinks(), links);
        QCOMPARE(d->link("lblCompany")->text(), company);
        QCOMPARE(d->link("lblScreen")->text(), QString("Screen Shot"));
        QCOMPARE(d->link("lblBuy")->text(), QString("Buy Now!"));
    }

    void shouldShowOnlyTheLinksOfTheSecondTitle()
    {
        FakeServices fakes;
        QStringList secondLinks;
        fakes.dialogs.steps.enqueue([&](QDialog &) {});
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            for (const char *name : kLinkNames) {
                if (dialog.findChild<LinkLabel *>(name)->isVisible())
                    secondLinks << name;
            }
        });
        QVERIFY(openTitle("ZipMaster"));
        showDetailWindow(fakes.services, nullptr);
        QVERIFY(openTitle("Ledger Lite"));
        showDetailWindow(fakes.services, nullptr);
        QCOMPARE(fakes.dialogs.shown, QStringList({"frmDetail", "frmDetail"}));
        QCOMPARE(secondLinks, QStringList({"lblCompany"}));
    }

    void shouldOpenExactlyTheLinksAddress_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("address");

        QTest::newRow("screen") << "lblScreen" << "http://www.nordwell-labs.example/zip.png";
        QTest::newRow("download 1") << "lblDownload1" << "http://dl1.example/zip.exe";
        QTest::newRow("download 2") << "lblDownload2" << "http://dl2.example/zip.exe";
        QTest::newRow("download 3") << "lblDownload3" << "http://dl3.example/zip.exe";
        QTest::newRow("buy") << "lblBuy" << "http://buy.example/zip";
        QTest::newRow("company") << "lblCompany" << "http://www.nordwell-labs.example/";
    }
    void shouldOpenExactlyTheLinksAddress()
    {
        QFETCH(QString, link);
        QFETCH(QString, address);

        QVERIFY(openTitle("ZipMaster"));
        auto d = loadDetail();
        QVERIFY(d);
        LinkLabel *label = d->link(link.toLatin1().constData());
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QCOMPARE(d->fakes.desktop.opened, QVector<QUrl>({QUrl(address)}));
    }

    void shouldKeepTheLayoutWithoutACurrentRecord()
    {
        QVERIFY(openTitle("ZipMaster"));
        rsSoftware->setFilter("Name = 'nothing'");
        auto d = loadDetail();
        QVERIFY(d);
        QCOMPARE(d->label("lblPrice"), QString("Price:"));
        QCOMPARE(d->label("lblRating"), QString("Rating:"));
        QCOMPARE(d->text("txtName"), QString());
        QVERIFY(d->shownLinks().isEmpty());
        QCOMPARE(d->fakes.pointer.current, int(vbDefault));
    }

    void shouldClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close") << "button";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close box";
        QTest::newRow("Enter on Close") << "enter";
    }
    void shouldClose()
    {
        QFETCH(QString, how);

        QVERIFY(openTitle("Disk Tool"));
        FakeServices fakes;
        bool closedByStep = false;
        fakes.dialogs.steps.enqueue([&](QDialog &dialog) {
            if (how == "button")
                dialog.findChild<QPushButton *>("cmdCancel")->click();
            else if (how == "escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else if (how == "enter")
                QTest::keyClick(dialog.findChild<QPushButton *>("cmdCancel"), Qt::Key_Return);
            else
                dialog.close();
            closedByStep = !dialog.isVisible();
        });
        showDetailWindow(fakes.services, nullptr);
        QVERIFY(closedByStep);
        QCOMPARE(fakes.pointer.current, int(vbDefault));
    }

    void shouldStayOpenOnEnterInATextBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("description") << "txtDescription";
        QTest::newRow("name") << "txtName";
        QTest::newRow("company description") << "txtCoDescription";
    }
    void shouldStayOpenOnEnterInATextBox()
    {
        QFETCH(QString, box);

        QVERIFY(openTitle("Disk Tool"));
        auto d = loadDetail();
        QVERIFY(d);
        QWidget *target = d->form->findChild<QWidget *>(box);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QVERIFY(d->form->isVisible());
    }
};

QTEST_MAIN(TestFrmDetail)
#include "test_frm_detail.moc"
