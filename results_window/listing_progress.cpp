#include "results_window/listing_progress.h"

#include "catalog/ado/connection.h"
#include "window_services/fonts.h"
#include "window_services/services.h"
#include "window_services/window_placement.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace {

int g_showAfterMs = ListingProgress::kShowAfterMs;
int g_redrawEveryMs = ListingProgress::kRedrawEveryMs;

// A window closed from its frame is not user input to Qt, but closing the main window in
// the middle of a load would pull the load's windows away under it: refused meanwhile.
class RefuseClosing final : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

ListingProgress::ListingProgress(ado::Connection *connection, QWidget *owner) : m_connection(connection), m_owner(owner)
{
    m_clock.start();
    if (m_connection)
        m_connection->setProgressReport([this](const ado::Progress &progress) { report(progress); });
}

ListingProgress::~ListingProgress()
{
    if (m_connection)
        m_connection->setProgressReport({});
}

void ListingProgress::setTimingForTests(int showAfterMs, int redrawEveryMs)
{
    g_showAfterMs = showAfterMs;
    g_redrawEveryMs = redrawEveryMs;
}

QString ListingProgress::text(const ado::Progress &progress)
{
    const QLocale locale;
    const QString done = locale.toString(progress.done);
    const QString total = locale.toString(progress.total);
    switch (progress.stage) {
    case ado::Progress::Stage::Reading:
        return progress.total > 0
            ? QStringLiteral("Reading %1: %2 of %3 rows").arg(progress.table, done, total)
            : QStringLiteral("Reading %1: %2 rows").arg(progress.table, done);
    case ado::Progress::Stage::Ordering:
        return QStringLiteral("Reading %1: all %2 rows read, ordering them").arg(progress.table, total);
    case ado::Progress::Stage::Listing:
        return QStringLiteral("Listing: %1 rows").arg(done);
    }
    return {};
}

void ListingProgress::report(const ado::Progress &progress)
{
    const qint64 now = m_clock.elapsed();
    if (now < g_showAfterMs || (m_lastRedraw >= 0 && now - m_lastRedraw < g_redrawEveryMs))
        return;
    m_lastRedraw = now;
    if (!m_window) {
        m_window = std::make_unique<QWidget>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        m_window->setObjectName(QStringLiteral("listingProgress"));
        m_window->setWindowTitle(applicationTitle());
        m_window->setFont(classicFont());
        auto *layout = new QVBoxLayout(m_window.get());
        m_label = new QLabel(m_window.get());
        m_label->setTextFormat(Qt::PlainText);
        m_label->setMinimumWidth(m_label->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);
        m_bar = new QProgressBar(m_window.get());
        layout->addWidget(m_label);
        layout->addWidget(m_bar);
        if (m_owner && m_owner->window()->windowHandle()) {
            m_window->winId();
            m_window->windowHandle()->setTransientParent(m_owner->window()->windowHandle());
        }
        m_label->setText(text(progress));
        m_window->adjustSize();
        centreOnScreen(m_window.get(), m_owner);
        m_window->show();
    }
    m_label->setText(text(progress));
    const bool counted = progress.stage == ado::Progress::Stage::Reading && progress.total > 0;
    // Reading fills the bar; ordering and listing have no known end, so it runs busy.
    m_bar->setRange(0, counted ? 1000 : 0);
    if (counted)
        m_bar->setValue(int(std::min<qint64>(1000, progress.done * 1000 / progress.total)));
    // Paints and the window system's requests only: clicks and keys wait for the load.
    RefuseClosing refuseClosing;
    QCoreApplication::instance()->installEventFilter(&refuseClosing);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QCoreApplication::instance()->removeEventFilter(&refuseClosing);
}
