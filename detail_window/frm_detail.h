#pragma once

#include <QDialog>

struct Services;
class LinkLabel;
class CutLabel;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

/// Creates the detail window, loads it from the current record of rsSoftware and shows it
/// modally over `owner`; returns when it has been closed.
void showDetailWindow(Services &services, QWidget *owner);

/// The detail window: one title of rsSoftware in full, with up to six links that open
/// through OpenUrl. Loaded afresh for every showing, so every link starts hidden.
class frmDetail : public QDialog {
    Q_OBJECT
public:
    explicit frmDetail(Services &services, QWidget *owner = nullptr);

    void Form_Load();

    QPlainTextEdit *txtCoDescription = nullptr;
    QLineEdit *txtName = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPlainTextEdit *txtDescription = nullptr;
    LinkLabel *lblCompany = nullptr;
    CutLabel *lblRating = nullptr;
    LinkLabel *lblBuy = nullptr;
    LinkLabel *lblDownload3 = nullptr;
    LinkLabel *lblDownload2 = nullptr;
    LinkLabel *lblDownload1 = nullptr;
    LinkLabel *lblScreen = nullptr;
    CutLabel *lblUninstaller = nullptr;
    CutLabel *lblLimitations = nullptr;
    CutLabel *lblRequirements = nullptr;
    CutLabel *lblType = nullptr;
    CutLabel *lblPrice = nullptr;

    void setVisible(bool visible) override;

private:
    void makeRoomForThePrice();
    void cmdCancel_Click();
    void openLink(const LinkLabel *label);

    Services &m_services;
};
