#pragma once

#include "fetchresult.h"

#include <QString>

class QNetworkAccessManager;

// One GET of Weburl with "If-Modified-Since: 0", waiting at most chaoshi seconds in a local
// event loop. A request still running at the limit is aborted.
FetchResult GetBody(const QString &Weburl, double chaoshi);

// Decodes the bytes kind in the named character set; every other kind gives empty text.
QString BytesToBstr(const FetchResult &body, const QString &charset);

namespace Fetch {
// The manager every GetBody call shares; created on first use, owned by the application.
QNetworkAccessManager *manager();
}
