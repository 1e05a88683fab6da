#pragma once

#include "fake_services.h"
#include "fixture_catalog.h"
#include "frm_software.h"
#include "listing_query.h"
#include "shared_state.h"
#include "twips.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

inline const QStringList kFieldNames = {
    "Name",        "Description", "Price",        "Type",         "Requirements", "Uninstaller",
    "Limitations", "ScreenURL",   "DownloadURL1", "DownloadURL2", "DownloadURL3", "BuyURL",
    "Rating",      "Company Name", "Company URL", "Company Desc"};
// The controls in the window's stored order.
inline const char *const kControls[] = {"cmdCancel", "cmdSelect", "optBegins", "optContains",
                                        "txtSearch", "cmdClear",  "cboField",  "dtgOrg",
                                        "lblOrg",    "lblSort"};

// Reads and drives a results window through its widgets.
struct View {
    QDialog *form = nullptr;

    template <class T = QWidget> T *get(const char *name) const { return form->findChild<T *>(name); }
    QTableView *grid() const { return get<QTableView>("dtgOrg"); }
    QComboBox *fields() const { return get<QComboBox>("cboField"); }
    QString label(const char *name) const { return get<QLabel>(name)->text(); }
    QString cell(int row, const QString &field) const
    {
        return grid()->model()->index(row, kFieldNames.indexOf(field)).data().toString();
    }
    int rowOf(const QString &name) const
    {
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            if (cell(row, "Name") == name)
                return row;
        return -1;
    }
    void clickCell(int row, bool twice = false) const
    {
        const QPoint at = grid()->visualRect(grid()->model()->index(row, 0)).center();
        if (twice)
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, at);
    }
    void clickHeader(const QString &field) const
    {
        const int c = kFieldNames.indexOf(field);
        grid()->scrollTo(grid()->model()->index(0, c));
        QHeaderView *header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Picks an entry of the drop-down list the way the keyboard does.
    void chooseField(const QString &field) const
    {
        QTest::keyClick(fields(), Qt::Key_Home);
        while (fields()->currentText() != field && fields()->currentIndex() < fields()->count() - 1)
            QTest::keyClick(fields(), Qt::Key_Down);
    }
    void type(const QString &text) const
    {
        get<QLineEdit>("txtSearch")->setFocus();
        QTest::keyClicks(get<QLineEdit>("txtSearch"), text);
    }
    QList<QRectF> layout() const
    {
        QList<QRectF> all;
        for (const char *name : kControls)
            all << twips::geometry(get(name));
        return all;
    }
};

// A results window loaded on one listing, with recording services. Made shared, as
// showSoftwareWindow makes it, so that its load can register its size limits.
struct Results : View {
    FakeServices fakes;
    std::unique_ptr<Services> services;  // the fakes, with a real settings store if given
    std::shared_ptr<frmSoftware> owned;
    std::unique_ptr<QAbstractItemModelTester> modelTester;  // the grid's model stays consistent

    QSize outer() const { return form->frameGeometry().size(); }
    void resizeOuter(const QSize &size) const { form->resize(size - outer() + form->size()); }
};

inline std::unique_ptr<Results> loadResults(const QString &sql = listing::allTitlesSql(),
                                            const QMap<QString, QString> &stored = {},
                                            SettingsService *store = nullptr)
{
    auto r = std::make_unique<Results>();
    FakeServices &f = r->fakes;
    f.settings.values = stored;
    r->services.reset(new Services{f.messages, f.pointer, f.desktop, store ? *store : f.settings,
                                   f.dialogs});
    strListingSql = sql;
    strListingTitle = listing::searchTitle(QString());
    r->owned = std::make_shared<frmSoftware>(*r->services);
    r->form = r->owned.get();
    r->owned->Form_Load();
    r->modelTester = std::make_unique<QAbstractItemModelTester>(
        r->grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (!r->owned->isUnloaded()) {
        r->form->show();
        if (!QTest::qWaitForWindowExposed(r->form))
            return nullptr;
    }
    return r;
}
