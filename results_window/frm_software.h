#pragma once

#include <QDeadlineTimer>
#include "catalog/listing/request.h"

#include <QDialog>
#include <QList>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

struct Services;
struct StdDataFormat;
class RecordsetModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

/// Writes strListingSql and strListingTitle from `request` and `title` (mirrors of what is
/// listed, never read back), creates the results window (Form_Initialize), loads the listing
/// into it (Form_Load) and, unless the load closed it (an empty listing), shows it modally
/// over `owner`;
/// returns when it has been closed, with the window destroyed. The window's object lives on
/// in the limits table once the window has registered its size limits, so that its end
/// (Form_Terminate, which closes the listing) comes only with the table; a window that did
/// not register ends here.
void showSoftwareWindow(Services &services, QWidget *owner, const listing::Request &request, const QString &title);

/// The results window: the listing in a grid that sorts by a header click and filters as
/// the user types; Select opens the current row in the detail window.
class frmSoftware : public QDialog {
    Q_OBJECT
public:
    /// Builds the controls and runs Form_Initialize; its load lists `request` under `title`.
    /// The window has no Qt parent: `owner` places it and is its transient parent.
    frmSoftware(Services &services, const listing::Request &request, const QString &title, QWidget *owner = nullptr);
    /// The same, for a statement that is none of the listings (another table of a catalog),
    /// run as it stands.
    frmSoftware(Services &services, const QString &statement, const QString &title, QWidget *owner = nullptr);
    /// Lets go of the window's object: Form_Terminate runs unless the limits table holds it.
    ~frmSoftware() override;

    void Form_Load();
    /// True once the window has been unloaded (by its own load, or closed).
    bool isUnloaded() const { return m_unloaded; }

    // Controls, in the layout's stored order.
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdSelect = nullptr;
    QRadioButton *optBegins = nullptr;
    QRadioButton *optContains = nullptr;
    QLineEdit *txtSearch = nullptr;
    QPushButton *cmdClear = nullptr;
    QComboBox *cboField = nullptr;
    QTableView *dtgOrg = nullptr;
    QLabel *lblOrg = nullptr;
    QLabel *lblSort = nullptr;

    // Window-level state.
    qint16 intSearchField = 0;
    QString strSortDirection;
    float sngPrevScaleWidth = 0;
    float sngPrevScaleHeight = 0;
    bool blnSkipResize = false;
    std::shared_ptr<StdDataFormat> oStdDataFormat;

    void dtgOrg_HeadClick(qint16 colIndex);
    void txtSearch_Change();
    void optBegins_Click();
    void optContains_Click();
    void cboField_Click();
    void cmdClear_Click();
    void cmdSelect_Click();
    void cmdCancel_Click();

    /// Keeps the controls in proportion to the inner size; the first call after the load
    /// began only clears blnSkipResize.
    void Form_Resize();
    /// The controls in the layout's stored order: the order Form_Resize visits them in.
    QList<QWidget *> Controls() const;

protected:
    void done(int result) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    frmSoftware(Services &services, const std::optional<listing::Request> &request, const QString &statement,
                const QString &title, QWidget *owner);
    void Form_Initialize();
    void restoreSize();
    void Form_Unload();
    static void Form_Terminate();
    void Unload();
    void showRecordsetPosition(int position);
    void moveRecordsetToRow(int row);

    // The window's object, apart from its widgets: shared with the limits table once the
    // window has registered, and running Form_Terminate when the last share goes.
    struct FormObject {
        FormObject() = default;
        FormObject(const FormObject &) = delete;
        FormObject &operator=(const FormObject &) = delete;
        ~FormObject() { Form_Terminate(); }
    };
    std::shared_ptr<const FormObject> m_object = std::make_shared<const FormObject>();

    Services &m_services;
    const std::optional<listing::Request> m_request;
    const QString m_statement;  // without a request
    const QString m_title;
    RecordsetModel *m_model = nullptr;
    QWidget *m_owner = nullptr;
    bool m_unloaded = false;
    // The outer size, in pixels, that the load gives the window once its frame is known.
    QSize m_outerSize;
    // Set once the window has that size: only then is the size on closing the user's, worth
    // remembering.
    bool m_sizeRestored = false;
    // Just after the frame arrives, a window manager may still fit the unframed window to
    // the screen on its own; a size it gives then is not the user's and is taken back.
    QDeadlineTimer m_settling;
    bool m_syncingCurrent = false;
};
