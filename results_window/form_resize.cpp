#include "results_window/form_resize.h"

#include "window_services/twips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

ResizeKind resizeKindOf(const QWidget *control)
{
    if (qobject_cast<const QAbstractItemView *>(control))
        return ResizeKind::MoveAndStretch;
    if (!qobject_cast<const QLineEdit *>(control) && !qobject_cast<const QComboBox *>(control))
        return ResizeKind::MoveOnly;
    return ResizeKind::MoveAndWiden;
}

void scaleControls(const QList<QWidget *> &controls, float rx, float ry)
{
    for (QWidget *control : controls) {
        if (!control)
            continue;
        const QRectF r = twips::geometry(control);
        const float left = static_cast<float>(r.left()) * rx;
        const float top = static_cast<float>(r.top()) * ry;
        switch (resizeKindOf(control)) {
        case ResizeKind::MoveAndStretch:
            twips::setGeometry(control, left, top, static_cast<float>(r.width()) * rx,
                               static_cast<float>(r.height()) * ry);
            break;
        case ResizeKind::MoveAndWiden:
            twips::setGeometry(control, left, top, static_cast<float>(r.width()) * rx, r.height());
            break;
        case ResizeKind::MoveOnly:
            twips::move(control, left, top);
            break;
        }
    }
}

bool resizeControls(const QList<QWidget *> &controls, float scaleWidth, float scaleHeight,
                    float &prevScaleWidth, float &prevScaleHeight)
{
    // A zero factor would collapse every control into the corner, and the next resize would
    // then divide by zero: the layout would never come back.
    if (!(scaleWidth > 0.0f) || !(scaleHeight > 0.0f) || !(prevScaleWidth > 0.0f)
        || !(prevScaleHeight > 0.0f))
        return false;
    const float rx = scaleWidth / prevScaleWidth;
    const float ry = scaleHeight / prevScaleHeight;
    prevScaleWidth = scaleWidth;
    prevScaleHeight = scaleHeight;
    scaleControls(controls, rx, ry);
    return true;
}
