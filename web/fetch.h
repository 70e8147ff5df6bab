#pragma once

#include "fetchresult.h"

#include <QString>

class QNetworkAccessManager;

// One GET of Weburl with "If-Modified-Since: 0", waiting at most chaoshi seconds in a local
// event loop. A request still running at the limit is aborted.
FetchResult GetBody(const QString &Weburl, double chaoshi);

// Decodes the bytes kind in the named character set; every other kind gives empty text.
QString BytesToBstr(const FetchResult &body, const QString &charset);

class QNetworkRequest;
class QObject;

namespace Fetch {
// The manager every fetch shares; created on first use, owned by the application.
QNetworkAccessManager *manager();
// Stops handing out `used` for new fetches, if it is still the current manager.
void retire(QNetworkAccessManager *used);
// One GET of `address` as every fetch sends it.
QNetworkRequest requestFor(const QString &address);
// Deletes `object` as soon as the event loop running now takes its next turn. deleteLater()
// would wait for the loop it was called from, and a job waits in loops nested inside that one
// until it ends, so every reply of a long job would be kept alive till then.
void release(QObject *object);
}
