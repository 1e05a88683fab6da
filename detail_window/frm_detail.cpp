#include "detail_window/frm_detail.h"

#include "catalog/shared_state.h"
#include "window_services/accessible_widgets.h"
#include "window_services/cut_label.h"
#include "window_services/field_text.h"
#include "window_services/focus_ring.h"
#include "window_services/fonts.h"
#include "window_services/link_label.h"
#include "window_services/open_url.h"
#include "window_services/services.h"
#include "window_services/text_colour.h"
#include "window_services/twips.h"
#include "window_services/window_placement.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

constexpr double kInnerWidth = 7935;
constexpr double kInnerHeight = 6165;
constexpr double kTitlePointSize = 13.5;
constexpr double kBuyPointSize = 18;
constexpr double kPriceWidth = 1335;

template <typename W>
W *place(const char *name, double left, double top, double width, double height, W *widget)
{
    widget->setObjectName(QLatin1String(name));
    twips::setGeometry(widget, left, top, width, height);
    return widget;
}

QPlainTextEdit *readOnlyMemo(QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    return box;
}

LinkLabel *link(QWidget *parent, const char *name, const QString &caption, double left, double top,
                double pointSize = 8.25)
{
    auto *label = new LinkLabel(parent, pointSize);
    label->setObjectName(QLatin1String(name));
    twips::move(label, left, top);
    label->setCaption(caption);
    label->setVisible(false);
    return label;
}

}  // namespace

void showDetailWindow(Services &services, QWidget *owner)
{
    frmDetail form(services, owner);
    form.Form_Load();
    services.dialogs.showModal(form);
}

frmDetail::frmDetail(Services &services, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      m_services(services)
{
    setObjectName(QStringLiteral("frmDetail"));
    // Before any control: the toolkit makes a control's interface when the control is made.
    accessibility::markWindow(this);
    setFont(classicFont());
    setSizeGripEnabled(false);

    // Built in the layout's stored order.
    txtCoDescription = place("txtCoDescription", 120, 4320, 7695, 1215, readOnlyMemo(this));

    txtName = place("txtName", 120, 105, 7695, 420, new QLineEdit(this));
    txtName->setReadOnly(true);
    txtName->setFont(classicFont(kTitlePointSize, true));
    text_colour::fillIn(txtName, QPalette::Button);

    cmdCancel = place("cmdCancel", 6720, 5640, 1095, 375, new QPushButton(tr("&Close"), this));
    txtDescription = place("txtDescription", 120, 600, 7695, 1815, readOnlyMemo(this));

    lblCompany = link(this, "lblCompany", QStringLiteral("Company Web Site"), 120, 3960);
    lblRating = place("lblRating", 4800, 2520, 2535, 255, new CutLabel(QStringLiteral("Rating:"), this));
    lblBuy = link(this, "lblBuy", QStringLiteral("Buy Now!"), 3000, 5640, kBuyPointSize);
    lblDownload3 = link(this, "lblDownload3", QStringLiteral("Download Site3"), 6120, 3600);
    lblDownload2 = link(this, "lblDownload2", QStringLiteral("Download Site2"), 4080, 3600);
    lblDownload1 = link(this, "lblDownload1", QStringLiteral("Download Site1"), 2040, 3600);
    lblScreen = link(this, "lblScreen", QStringLiteral("Screen Shot"), 120, 3600);
    lblUninstaller = place("lblUninstaller", 3360, 2520, 1335, 255,
                           new CutLabel(QStringLiteral("Uninstaller:"), this));
    lblLimitations = place("lblLimitations", 120, 3240, 7815, 255,
                           new CutLabel(QStringLiteral("Limitations:"), this));
    lblRequirements = place("lblRequirements", 120, 2880, 7695, 255,
                            new CutLabel(QStringLiteral("Requirements:"), this));
    lblType = place("lblType", 1560, 2520, 1695, 255, new CutLabel(QStringLiteral("Type:"), this));
    lblPrice = place("lblPrice", 120, 2520, kPriceWidth, 255, new CutLabel(QStringLiteral("Price:"), this));
    for (QLabel *label : {lblRating, lblUninstaller, lblLimitations, lblRequirements, lblType, lblPrice})
        label->setTextFormat(Qt::PlainText);

    txtName->setAccessibleName(QStringLiteral("Title"));
    txtDescription->setAccessibleName(QStringLiteral("Description"));
    txtCoDescription->setAccessibleName(QStringLiteral("Company description"));

    // By tab index; the links, which the mouse reaches anywhere, come after the description
    // boxes (Tab passes over the hidden ones).
    txtDescription->setFocus();
    const QList<QWidget *> chain{txtDescription, cmdCancel,    txtName,      txtCoDescription, lblScreen,
                                 lblDownload1,   lblDownload2, lblDownload3, lblBuy,           lblCompany};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
    accessibility::markWindow(this, txtDescription);
    focus_ring::attach(this);

    twips::setInnerSize(this, kInnerWidth, kInnerHeight);
    setFixedSize(size());
    centreOnScreen(this, owner);

    connect(cmdCancel, &QPushButton::clicked, this, &frmDetail::cmdCancel_Click);
    for (LinkLabel *label : {lblScreen, lblDownload1, lblDownload2, lblDownload3, lblBuy, lblCompany})
        connect(label, &LinkLabel::clicked, this, [this, label] { openLink(label); });
}

void frmDetail::Form_Load()
{
    m_services.pointer.setMousePointer(vbHourglass);
    setWindowTitle(QStringLiteral("Software Detail Screen"));

    // Each step reads one column; a step whose read fails (no current record) is skipped
    // and the control keeps its layout text.
    const std::shared_ptr<ado::Recordset> rs = rsSoftware;
    auto column = [&rs](const char *name, QVariant *value) {
        bool ok = false;
        if (rs)
            *value = rs->value(QLatin1String(name), &ok);
        return ok;
    };
    QVariant value;

    if (column("Name", &value)) {
        txtName->setText(fieldText(value));
        txtName->setCursorPosition(0);  // a long name shows its beginning
    }
    if (column("Description", &value))
        txtDescription->setPlainText(fieldText(value));
    if (column("Price", &value))
        lblPrice->setText(QStringLiteral("Price: ") + moneyText(value));
    if (column("Type", &value))
        lblType->setText(QStringLiteral("Type: ") + fieldText(value));
    makeRoomForThePrice();
    if (column("Uninstaller", &value))
        lblUninstaller->setText(QStringLiteral("Uninstaller: ")
                                + (value.toBool() ? QStringLiteral("Yes") : QStringLiteral("No")));
    if (column("Rating", &value))
        lblRating->setText(QStringLiteral("Rating: ") + fieldText(value) + QStringLiteral(" out of 5"));
    if (column("Requirements", &value))
        lblRequirements->setText(QStringLiteral("Requirements: ") + fieldText(value));
    if (column("Limitations", &value))
        lblLimitations->setText(QStringLiteral("Limitations: ") + fieldText(value));

    const std::pair<const char *, LinkLabel *> links[] = {
        {"ScreenURL", lblScreen},       {"DownloadURL1", lblDownload1}, {"DownloadURL2", lblDownload2},
        {"DownloadURL3", lblDownload3}, {"BuyURL", lblBuy},
    };
    // Only Null hides a link; a zero-length address counts as present.
    for (const auto &[name, label] : links) {
        if (column(name, &value) && !ado::isNull(value)) {
            label->setVisible(true);
            label->setToolTip(fieldText(value));
        }
    }

    if (column("Company Name", &value) && !ado::isNull(value)) {
        lblCompany->setCaption(fieldText(value));
        lblCompany->setVisible(true);
        if (column("Company URL", &value))
            lblCompany->setToolTip(fieldText(value));
    }
    if (column("Company Desc", &value))
        txtCoDescription->setPlainText(fieldText(value));

    // A screen reader reads a window's name first and passes over its short lines: the name
    // says which title this is, at what price, of what type and whether it uninstalls.
    QStringList summary{windowTitle() + QLatin1Char(':')};
    if (!txtName->text().isEmpty())
        summary << txtName->text() + QLatin1Char(',');
    summary << lblPrice->text() + QLatin1Char(',') << lblType->text() + QLatin1Char(',') << lblUninstaller->text();
    setAccessibleName(summary.join(QLatin1Char(' ')));

    m_services.pointer.setMousePointer(vbDefault);
}

// A large amount takes the free room up to the type beside it, then the empty right part of
// the type's own box, so that it shows whole: the type moves right by as much, its box keeping
// its right edge (and cut, with its whole text offered, should it then not fit).
void frmDetail::makeRoomForThePrice()
{
    const auto widthFor = [](const QLabel *label) {
        return label->fontMetrics().horizontalAdvance(label->text()) + label->width() - label->contentsRect().width();
    };
    const int designed = twips::toPixels(kPriceWidth);
    const int gap = lblType->x() - (lblPrice->x() + designed);
    const int typeEnd = lblType->x() + lblType->width();
    const int widest = std::max(designed, typeEnd - widthFor(lblType) - gap - lblPrice->x());
    lblPrice->resize(std::clamp(widthFor(lblPrice), designed, widest), lblPrice->height());
    const int typeLeft = std::max(lblType->x(), lblPrice->x() + lblPrice->width() + gap);
    lblType->setGeometry(typeLeft, lblType->y(), typeEnd - typeLeft, lblType->height());
}

void frmDetail::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // A dialog shown without a default button makes its first button the default, so Enter
    // in a text box would close the window. Close stays the Enter target only while focused.
    if (visible)
        cmdCancel->setDefault(false);
}

void frmDetail::cmdCancel_Click() { close(); }

void frmDetail::openLink(const LinkLabel *label)
{
    OpenUrl(m_services.desktop, this, label->toolTip());
}
