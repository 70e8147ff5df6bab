#pragma once

#include "job/hosts.h"
#include "job/render/pagepace.h"
#include "web/folders.h"
#include "web/limits.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>

class ForumServer;

namespace TestSupport {

inline Timings shortTimings()
{
    return Timings::shortened();
}

inline PagePace shortPace()
{
    return PagePace::shortened();
}

// Timings or a page pace changed for as long as it lives; the ones before come back when it ends,
// also when a check fails on the way.
template<typename Value, const Value &(*current)(), void (*use)(const Value &)> class ScopedSetting final
{
    Q_DISABLE_COPY_MOVE(ScopedSetting)

public:
    template<typename Change>
    explicit ScopedSetting(Change change)
        : m_before(current())
    {
        Value changed = m_before;
        change(changed);
        use(changed);
    }
    ~ScopedSetting() { use(m_before); }

private:
    const Value m_before;
};

using ScopedTimings = ScopedSetting<Timings, Settings::timings, Settings::setTimings>;
using ScopedPagePace = ScopedSetting<PagePace, pagePace, setPagePace>;

// The address of picture `id` on the picture host `host`.
inline QString pictureUrl(const QString &host, const QString &id)
{
    return QStringLiteral("http://%1/forum/pic/item/%2.jpg").arg(host, id);
}

// Every file below `folder`, relative to it, sorted.
QStringList filesBelow(const QString &folder);

inline QStringList sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

// The pictures asked of `server` since its requests were last cleared, by id, sorted: pictures
// side by side go out on network lines of their own, so the order their requests arrive in is
// not the program's.
QStringList picturesAsked(const ForumServer &server);

// True when the file at `path` holds exactly the bytes `server` serves for picture `id`.
bool holdsPicture(const ForumServer &server, const QString &path, const QString &id);

// Puts `bytes` at `path` as a saved picture would be, replacing what was there; false when it
// could not.
bool putFile(const QString &path, const QByteArray &bytes);

// A file's bytes; "<missing>" when it cannot be read.
QByteArray contents(const QString &path);

// The memory this process holds now, not its peak.
qint64 residentBytes();

// False in a build with the address sanitizer, whose shadow memory and quarantine make the
// process's memory say nothing about the program's.
inline constexpr bool memoryMeasurable =
#if defined(__SANITIZE_ADDRESS__)
    false;
#else
    true;
#endif

} // namespace TestSupport
