#include "window_services/open_url.h"

#include "window_services/services.h"

#include <QUrl>

namespace {

// The schemes a catalog address may use. Anything else could make the desktop run a
// local program or open a local file on behalf of a downloaded catalog.
bool isWebOrMailScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https")
        || scheme == QLatin1String("ftp") || scheme == QLatin1String("mailto");
}

QUrl webOrMailUrl(const QString &address)
{
    QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        text.prepend(QLatin1String("http://"));

    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || !isWebOrMailScheme(url.scheme()))
        return {};
    if (url.scheme() == QLatin1String("mailto")) {
        if (url.path().isEmpty())
            return {};
    } else if (url.host().isEmpty()) {
        return {};
    }
    return url;
}

}  // namespace

void OpenUrl(DesktopService &desktop, QWidget *owner, const QString &address)
{
    // The desktop opener shows its own windows; it needs no owner.
    Q_UNUSED(owner);
    const QUrl url = webOrMailUrl(address);
    if (url.isValid())
        desktop.openUrl(url);
}
