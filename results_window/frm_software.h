#pragma once

#include <QDialog>
#include <QString>

#include <memory>

struct Services;
struct StdDataFormat;
class RecordsetModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

/// Creates the results window (Form_Initialize), loads strListingSql into it (Form_Load)
/// and, unless the load closed it (an empty listing), shows it modally over `owner`;
/// returns when it has been closed.
void showSoftwareWindow(Services &services, QWidget *owner);

/// The results window: the listing in a grid that sorts by a header click and filters as
/// the user types; Select opens the current row in the detail window.
class frmSoftware : public QDialog {
    Q_OBJECT
public:
    /// Builds the controls and runs Form_Initialize.
    explicit frmSoftware(Services &services, QWidget *owner = nullptr);
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

protected:
    void done(int result) override;

private:
    void Form_Initialize();
    void Unload();
    void showRecordsetPosition(int position);
    void moveRecordsetToRow(int row);

    Services &m_services;
    RecordsetModel *m_model = nullptr;
    bool m_unloaded = false;
    bool m_syncingCurrent = false;
};
