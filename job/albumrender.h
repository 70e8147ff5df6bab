#pragma once

#include "job/jobchoices.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class BrowserAdapter;
class JobWindow;
struct JobState;

// One album page loaded into one browser page, scrolled until it settles, and read: at the
// fixed pace (a set wait after the load, then scroll passes until two leave the markup alike) or
// at the adaptive one (as fast as the page renders, until it rests at its end). It runs on the
// event loop alongside the job and the other pages, and never waits in a loop of its own but
// for the answers of its page.
class AlbumRendering final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlbumRendering)

public:
    AlbumRendering(BrowserAdapter &page, const QString &albumUrl, JobChoices::Pace pace);
    ~AlbumRendering() override;

    // Fetches the page's source (at the fixed pace) and starts loading it.
    void start();
    bool isDone() const { return m_done; }
    // Its log lines go to `window` from now on; those said before go there at once.
    void speakTo(JobWindow &window);

    // Once done: the settled markup (empty for a page that never loaded), and why the page could
    // not be used (empty when it could).
    const QString &markup() const { return m_markup; }
    const QString &failure() const { return m_failure; }
    // False when the page was read before it settled: its load or its scrolling hit a bound.
    bool whole() const { return m_whole; }
    BrowserAdapter &page() const { return m_page; }

signals:
    void done();

private:
    void after(int ms, std::function<void()> next);
    void say(const QString &line);
    // Says why the page is read before it settled.
    void sayCut(const QString &line);
    void loadEnded(bool loaded);
    void settleAtFixedPace();
    void nextFixedPass();
    void stepDownFixed();
    void fixedPassWaited();
    void lookAtAdaptivePage();
    void settled();
    void finish();
    bool tooLarge() const;

    BrowserAdapter &m_page;
    const QString m_url;
    const JobChoices::Pace m_pace;
    QTimer m_timer;
    std::function<void()> m_next;
    QMetaObject::Connection m_loadWatch;
    JobWindow *m_window = nullptr;
    QStringList m_unsaid;
    bool m_done = false;
    QString m_markup;
    QString m_failure;
    bool m_whole = true;

    // The fixed pace: the markup before and after the last pass, and where the passes stand.
    QString m_before;
    QString m_current;
    int m_passes = 0;
    int m_waitsAllowed = 0;
    int m_passWaits = 0;
    int m_step = 0;

    // The adaptive pace: what the page did when last looked at, and when it last moved.
    QElapsedTimer m_clock;
    bool m_looked = false;
    qint64 m_changes = 0;
    qint64 m_height = 0;
    qint64 m_requests = 0;
    qint64 m_lastChangeMs = 0;
    qint64 m_lastRequestMs = 0;
    qint64 m_lastScrollMs = 0;
    bool m_justScrolled = false;
    bool m_grewUnasked = false;
};

// The album's line in the log, once it is the album's turn.
void logAlbumLine(const JobState &state, JobWindow &window);

// The album's title as its settled markup shows it, or its own name from its address.
QString albumTitle(const QString &markup, const QString &albumUrl);

// The title as the user sees it on the page: the entities of serialized text decoded.
QString decodeTitleEntities(const QString &title);

// The album's own name from its address, for a page that shows no title.
QString albumIdFromUrl(const QString &AlbumUrl);
