#pragma once

#include <QByteArray>
#include <QHash>

// One request as it arrived on the wire; tests read these to see what a client really sent.
struct ForumRequest
{
    QByteArray method;
    QByteArray target;                     // raw path and query, still percent-encoded
    QHash<QByteArray, QByteArray> headers; // names in lower case
};
