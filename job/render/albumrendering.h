#pragma once

#include "job/render/paceclock.h"
#include "job/render/pacerules.h"
#include "job/settingsfile.h"
#include "web/browser/browseradapter.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Engine;
class JobWindow;
struct JobState;

// One album page loaded into one browser page, scrolled until it settles at the chosen pace, and
// read. It runs on the event loop alongside the job and the other pages: every wait is a call
// made later by its clock, every question to the page an answer that comes later.
class AlbumRendering final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlbumRendering)

public:
    // At the page pace of `engine`, on its clock unless `clock` is another.
    AlbumRendering(BrowserAdapter &page, const QString &albumUrl, JobChoices::Pace pace, Engine &engine,
                   PaceClock *clock = nullptr);
    ~AlbumRendering() override;

    // Once settled, asks the page whether one of its requests is still open (requestsOpen()).
    void setChecksOpenRequests(bool checks) { m_checksOpen = checks; }
    // Fetches the page's source (at the fixed pace) and starts loading it.
    void start();
    bool isDone() const { return m_done; }
    // Its log lines go to `window` from now on; those said before go there at once.
    void speakTo(JobWindow &window);
    // The lines said so far and not yet passed on.
    const QStringList &unsaid() const { return m_unsaid; }

    // Once done: the settled markup (empty for a page that never loaded), and why the page could
    // not be used (empty when it could).
    const QString &markup() const { return m_markup; }
    const QString &failure() const { return m_failure; }
    // False when the page was read before it settled: its load or its scrolling hit a bound.
    bool whole() const { return m_whole; }
    // True when the page's load never finished within its bound.
    bool loadTimedOut() const { return m_loadTimedOut; }
    // True when it was read with one of its own requests still open, as far as the page said.
    bool requestsOpen() const { return m_requestsOpen; }
    // Every state the page showed its pictures in, as far as it answered (BrowserAdapter::shown()).
    const QList<ShownElement> &shown() const { return m_shown; }
    BrowserAdapter &page() const { return m_page; }

signals:
    void done();

private:
    void after(int ms, std::function<void()> next);
    void say(const QString &line);
    // Says why the page is read before it settled.
    void sayCut(const QString &line);
    void navigate();
    void loadEnded(bool loaded);
    void advance(PaceAnswer answer);
    void took(const BrowserAdapter::Body &body);
    void settled();
    void read();
    void finish();

    BrowserAdapter &m_page;
    const QString m_url;
    const JobChoices::Pace m_pace;
    Engine &m_engine;
    PaceClock &m_clock;
    // Each wait and answer carries the number of the step it belongs to; a later step makes it void.
    quint64 m_turn = 0;
    QMetaObject::Connection m_loadWatch;
    JobWindow *m_window = nullptr;
    QStringList m_unsaid;
    bool m_done = false;
    QString m_source;
    std::unique_ptr<PaceRules> m_rules;
    qint64 m_loadEndedMs = 0;
    QString m_markup;
    QString m_failure;
    BrowserAdapter::BodyRead m_lastRead = BrowserAdapter::BodyRead::Markup;
    QList<ShownElement> m_shown;
    bool m_whole = true;
    bool m_loadTimedOut = false;
    bool m_checksOpen = false;
    bool m_loadBounded = false;
    bool m_requestsOpen = false;
};

// The album's line in the log, once it is the album's turn.
void logAlbumLine(const JobState &state, JobWindow &window);

// The album's title as its settled markup (or, failing that, what the page showed) shows it, or
// its own name from its address.
QString albumTitle(const QString &markup, const QList<ShownElement> &shown, const QString &albumUrl);

// The title as the user sees it on the page: the entities of serialized text decoded.
QString decodeTitleEntities(const QString &title);

// The album's own name from its address, for a page that shows no title.
QString albumIdFromUrl(const QString &AlbumUrl);
