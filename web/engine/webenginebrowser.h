#pragma once

#include "web/browser/browseradapter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include <memory>
#include <optional>
#include <vector>

class EngineHealth;
class QWebEngineView;
class RequestCounter;
class SilentPage;
struct Timings;

// The browser adapter over a QWebEngineView, with an off-the-record profile so that nothing of
// the visited pages (cache, cookies, history) is written to the user's home.
//
// The page renders whatever its view does: minimised, hidden, covered or on another desktop.
//
// A page that hung, lost its renderer or never finished loading is not used again: the next
// address gets a fresh page in a profile of its own, whose renderer is a process of its own, and
// the old page goes with its profile, which ends its renderer. A load that never finished may
// also hold up the engine's network side, which is then ended too: the engine starts it afresh.
// What the pages learn of that side they share through their engine's health.
class WebEngineBrowser final : public BrowserAdapter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineBrowser)

public:
    // The limits and the health are the engine's, which outlives the page.
    WebEngineBrowser(QWebEngineView *view, const Timings &timings, EngineHealth &health, QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    void setSilent(bool silent) override;
    void Navigate(const QString &address) override;
    int ReadyState() const override;
    void giveUpLoad() override;
    void renewNetworkBeforeNextLoad() override;
    void readBody(QObject *context, std::function<void(const Body &)> answer) override;
    void Scroll(int x, int y) override;
    QString navigationFailure() const override { return m_failure; }
    bool movedAwayRefused() const override { return m_moveRefused; }
    void setWatchesActivity(bool watches) override { m_watches = watches; }
    void readActivity(QObject *context, std::function<void(const Activity &)> answer) override;

private:
    void freshPage();
    void keepVisible(bool visible);
    void stampNewDocuments();
    void limitRenderer();
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onLoadFinished();
    void onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
    void awaitNetworkService();
    // Runs `script` in the program's own script world; its answer comes to `answer`, or nothing
    // when the page gave none in time or lost its renderer.
    void ask(const QString &script, QObject *context, std::function<void(const std::optional<QVariant> &)> answer);
    void askWithNews(const QString &script, QObject *context,
                     std::function<void(const std::optional<QVariant> &)> answer);
    void takeNews(const QVariantList &states, qint64 from, qint64 document);
    void failPendingAnswers();

    struct Pending
    {
        QPointer<QObject> context;
        std::function<void(const std::optional<QVariant> &)> answer;
        QTimer limit;
        bool delivered = false;
    };

    QWebEngineView *m_view;
    const Timings &m_timings;
    EngineHealth &m_health;
    SilentPage *m_page = nullptr;
    bool m_silent = true;
    bool m_watches = false;
    // Counts the navigations; every document a navigation brings carries its number.
    qint64 m_navigation = 0;
    qint64 m_navigationStartMs = 0;
    bool m_started = false;
    bool m_complete = false;
    bool m_loading = false;
    bool m_renewNext = false;
    bool m_freshPageFirst = false;
    bool m_givenUp = false;
    bool m_spoiled = false;
    bool m_rendererGone = false;
    bool m_moveRefused = false;
    qint64 m_limitedPid = 0;
    QString m_failure;
    std::vector<std::shared_ptr<Pending>> m_pending;
    QPointer<QObject> m_counter; // the page's RequestCounter
    qint64 m_requestsBefore = 0;
    // How many of the states the page showed (shown()) its answers brought, and of which document.
    qint64 m_shownCursor = 0;
    qint64 m_shownDocument = 0;
    // A load held back until the engine runs a network service again.
    QString m_pendingAddress;
    QSet<qint64> m_endedServices;
    QElapsedTimer m_renewalClock;
    QTimer m_renewal;
};
