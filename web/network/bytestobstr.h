#pragma once

#include "web/network/fetchresult.h"

#include <QString>

// Decodes the bytes kind in the named character set; every other kind gives empty text.
QString BytesToBstr(const FetchResult &body, const QString &charset);
