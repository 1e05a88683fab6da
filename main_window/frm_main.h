#pragma once

#include "catalog/ado_types/ado.h"

#include <QString>
#include <QVector>
#include <QWidget>

class LinkLabel;
class QLabel;
class QScrollArea;
class QLineEdit;
class QListWidget;
class QPushButton;
struct Services;
namespace ado {
class Recordset;
}

/// The start-up window: the search box, the category browser (one link label per category
/// over the list of its subcategories, five to a row) and the featured titles.
///
/// The constructor lays the window out as designed; Form_Load opens the catalog in the
/// application folder and fills the browser and the featured list.
class frmMain : public QWidget {
    Q_OBJECT
public:
    /// `appPath` is the application folder, where "shareware.mdb" is looked for unless
    /// `catalogFile` names another catalog file (as the command line gives it, made absolute).
    frmMain(Services &services, const QString &appPath, QWidget *parent = nullptr,
            const QString &catalogFile = QString());
    ~frmMain() override;

    /// Opens the catalog and builds the category browser and the featured list. When the
    /// catalog cannot be opened or its start-up tables cannot be read, asks whether to go
    /// to the data-access components download page and leaves the window as designed.
    void Form_Load();

    /// Lists all titles, or those whose name or description holds the search text.
    void cmdGo_Click();
    /// Lists the titles of the category whose label was clicked.
    void lblCategory_Click(int Index);
    /// Lists the titles of the subcategory selected in list `Index`.
    void lstSubCategory_DblClick(int Index);
    /// Opens the selected featured title straight in the detail window.
    void lstFeatured_DblClick();
    /// Opens the publisher's home page.
    void Label3_Click();
    /// Unloads the main window; the program ends with it.
    void cmdClose_Click();

    /// Element `index` of each control array, or null when that element is not loaded.
    LinkLabel *lblCategory(int index) const;
    QListWidget *lstSubCategory(int index) const;
    QListWidget *lstSubCategoryIDs(int index) const;
    /// How many elements each control array holds (1 before Form_Load: element 0).
    int lblCategoryCount() const;
    /// The scrolling browser area that holds the category browser when the catalog has more
    /// categories than the window shows at once; null otherwise (the browser then lies on
    /// the window as designed).
    QScrollArea *browserArea() const { return m_browserArea; }

    /// The download page offered when the catalog cannot be opened.
    static QString dataAccessDownloadAddress();
    /// The publisher's home page, named in the web-site label and opened by it.
    static QString publisherAddress();
    /// The publisher's address as the web-site label names it.
    static QString publisherSiteName();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void loadCategoryElement(int index);
    void connectCategoryElement(int index);
    void addSubCategories(int index, ado::Recordset &subCategories, const QVariant &categoryId);
    void showOpenFailurePrompt(const ado::Error &error);
    void scrollBrowser();
    void orderTabs();
    void showCategoryOf(QWidget *focused);

    Services &m_services;
    QString m_appPath;
    QString m_catalogFile;

    QListWidget *m_lstFeatured = nullptr;
    QPushButton *m_cmdClose = nullptr;
    QPushButton *m_cmdGo = nullptr;
    QLineEdit *m_txtSearch = nullptr;
    QLabel *m_Label4 = nullptr;
    LinkLabel *m_Label3 = nullptr;
    QLabel *m_Label2 = nullptr;
    QLabel *m_Label1 = nullptr;
    QVector<LinkLabel *> m_lblCategory;
    QVector<QListWidget *> m_lstSubCategory;
    QVector<QListWidget *> m_lstSubCategoryIDs;
    QScrollArea *m_browserArea = nullptr;
    QSize m_designedSize;
    bool m_fittedToScreen = false;
};
