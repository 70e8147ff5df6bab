#pragma once

#include "tools/forumsim/forumconfig.h"
#include "tools/forumsim/forumrequest.h"
#include "tools/forumsim/httpresponse.h"
#include "tools/forumsim/picturefactory.h"

// Maps a request to the forum's answer, including the faults a picture is configured to show.
class ForumRouter
{
public:
    explicit ForumRouter(ForumConfig config);

    HttpResponse route(const ForumRequest &request);
    QByteArray pictureBytes(const QString &id) const;

private:
    HttpResponse listPage(const QByteArray &query);
    HttpResponse albumPage(const QString &albumId) const;
    HttpResponse batch(const QString &albumId, const QByteArray &query) const;
    // The same pictures as the rows an htmx gallery inserts.
    HttpResponse rows(const QString &albumId, const QByteArray &query) const;
    // An events album's batches over an event stream, from the one after lastEventId.
    HttpResponse events(const QString &albumId, const QByteArray &lastEventId) const;
    // A library file compiled into the simulator, unchanged.
    static HttpResponse vendorFile(const QByteArray &path);
    // The page an iframe loader calls into, or a worker loader's script.
    HttpResponse batchHelper(const QString &albumId, const QByteArray &helper) const;
    HttpResponse poll(const QByteArray &query) const;
    static HttpResponse noContent();
    HttpResponse picture(const QString &id, bool withFaults);
    HttpResponse faulty(const ForumPicture &declared) const;
    // The picture as every request without a fault gets it, in its format.
    HttpResponse plain(const QString &id) const;

    ForumConfig m_config;
    PictureFactory m_factory;
    QHash<QString, int> m_itemRequests; // per picture id, so "once" faults hit only the first
    QHash<QByteArray, int> m_hostileRequests;
    QHash<QString, int> m_listRequests; // per bar and page, so a "Retry-After" hits only the first
};
