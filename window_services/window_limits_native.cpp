// On Windows a registered window's size query (WM_GETMINMAXINFO) is answered from the limits
// table itself, as the platform asks it, before the toolkit sees the message.
#ifdef _WIN32
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWidget>

#include <windows.h>

// From window_limits.cpp; declared here, not through its header, whose size-query structure
// bears the platform's own name.
bool trackSizesOf(quintptr hWnd, int &minWidth, int &minHeight, int &maxWidth, int &maxHeight);

namespace {

class SizeQueryFilter final : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *result) override
    {
        if (type != "windows_generic_MSG")
            return false;
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message != WM_GETMINMAXINFO)
            return false;
        int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
        if (!trackSizesOf(quintptr(msg->hwnd), minWidth, minHeight, maxWidth, maxHeight))
            return false;
        // The table keeps the window's pixels; the message counts the screen's.
        const QWidget *window = QWidget::find(WId(msg->hwnd));
        const qreal ratio = window ? window->devicePixelRatioF() : 1.0;
        auto *info = reinterpret_cast<MINMAXINFO *>(msg->lParam);
        // The other three points stay as they came: maximising is the platform's.
        info->ptMinTrackSize = {LONG(qRound(minWidth * ratio)), LONG(qRound(minHeight * ratio))};
        info->ptMaxTrackSize = {LONG(qRound(maxWidth * ratio)), LONG(qRound(maxHeight * ratio))};
        *result = 0;
        return true;
    }
};

}  // namespace

void answerSizeQueries()
{
    static SizeQueryFilter *filter = nullptr;
    if (!filter && QCoreApplication::instance()) {
        filter = new SizeQueryFilter;
        QCoreApplication::instance()->installNativeEventFilter(filter);
    }
}
#endif
