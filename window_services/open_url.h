#pragma once

#include <QString>

class DesktopService;
class QWidget;

/// Hands `address` to the desktop on behalf of `owner`; nothing is reported. Only web and
/// mail addresses go out (http, https, ftp, mailto; a bare "www." address as http): a catalog
/// comes from a download, and anything else (file:, a local program) is refused silently.
void OpenUrl(DesktopService &desktop, QWidget *owner, const QString &address);
