#pragma once

#include <QByteArray>
#include <QString>

// What a page or picture fetch brought. Only the Bytes kind carries content; the others all
// mean "nothing was fetched" and differ only in why.
struct FetchResult
{
    enum class Kind {
        Bytes,       // status 200: the body exactly as received
        TimeoutText, // finished with another status, after the time limit
        NoValue,     // finished with another status (or failed below HTTP) within the limit
        EmptyText,   // still running at the limit
    };

    Kind kind = Kind::NoValue;
    QByteArray bytes;
    // Why nothing was fetched, in a few words for the log ("HTTP 404", ...); empty for bytes.
    QString reason;

    static FetchResult fromBytes(const QByteArray &body) { return {Kind::Bytes, body, {}}; }
    bool hasBytes() const { return kind == Kind::Bytes; }
    // The text a caller sees for the non-bytes kinds.
    QString text() const { return kind == Kind::TimeoutText ? QStringLiteral("获取内容超时") : QString(); }
};
