#pragma once

#include "job/engine.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>

class ForumServer;

namespace TestSupport {

// The shipped settings scaled down so that a whole job runs in a few seconds, with the hosts the
// environment names, or `host` for both when given, and the program folder `programFolder` when
// given.
EngineSettings shortSettings(const QString &host = {}, const QString &programFolder = {});

// The folders of an engine whose program folder is `folder`.
inline Folders programFolder(const QString &folder)
{
    Folders folders;
    folders.program = folder;
    return folders;
}

// The timings of a network or the page pace of an engine changed for as long as it lives; the ones
// before come back when it ends, also when a check fails on the way.
template<typename Holder, typename Value, const Value &(Holder::*current)() const, void (Holder::*use)(const Value &)>
class ScopedSetting final
{
    Q_DISABLE_COPY_MOVE(ScopedSetting)

public:
    template<typename Change>
    ScopedSetting(Holder &holder, Change change)
        : m_holder(holder)
        , m_before((holder.*current)())
    {
        Value changed = m_before;
        change(changed);
        (holder.*use)(changed);
    }
    ~ScopedSetting() { (m_holder.*use)(m_before); }

private:
    Holder &m_holder;
    const Value m_before;
};

using ScopedTimings = ScopedSetting<Network, Timings, &Network::timings, &Network::setTimings>;
using ScopedPagePace = ScopedSetting<Engine, PagePace, &Engine::pagePace, &Engine::setPagePace>;

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
