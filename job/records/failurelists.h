#pragma once

#include <QList>
#include <QString>

// The pictures whose save failed, kept by the window from one command to the next: each entry
// is followed by CR LF, and the k-th URL belongs to the k-th path. Entries go in and come out
// only through append() and entries(), so the pairing holds.
struct FailureLists
{
    QString FailedUrls;
    QString FailedPaths;

    struct Entry
    {
        QString url;
        QString path; // empty where the paths ran out before the addresses
    };

    void append(const QString &url, const QString &path)
    {
        FailedUrls += url + QStringLiteral("\r\n");
        FailedPaths += path + QStringLiteral("\r\n");
    }
    // Every address, in order, with its path.
    QList<Entry> entries() const;
    // Every recorded failure ends in CR LF.
    qsizetype size() const { return FailedUrls.count(QStringLiteral("\r\n")); }
    bool isEmpty() const { return FailedUrls.isEmpty(); }
    void clear()
    {
        FailedUrls.clear();
        FailedPaths.clear();
    }
};
