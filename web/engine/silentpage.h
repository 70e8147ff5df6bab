#pragma once

#include <QWebEnginePage>

// A page that, while silent, answers every question of the page or the engine itself with a
// quiet "no", so that nothing ever waits for the user in the middle of a job.
class SilentPage final : public QWebEnginePage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SilentPage)

public:
    SilentPage(QWebEngineProfile *profile, QObject *parent);

    void setSilent(bool silent) { m_silent = silent; }
    // Until the engine begins the load asked for next, the page may not navigate itself: what a
    // document left running must not load in place of the address asked for.
    void expectNavigation();
    // The load asked for has finished: from now on the page stays the document it shows.
    void loadDone() { m_loaded = true; }
    // Whether a load of `url` is the one asked for last (or a redirect of it its host made). The
    // engine tells of the loads a document left running tried and was refused too, and their
    // end is not that of the load asked for.
    bool isAskedLoad(const QUrl &url) const;

signals:
    // The page or its server tried to take the main frame elsewhere: off the host asked for
    // (`offHost`), or, once loaded, to another page at all. It stays where it was.
    void navigationRefused(const QUrl &url, bool offHost);

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void refuseEngineRequests();

    bool m_silent = true;
    bool m_expecting = false;
    bool m_loaded = false;
    // The address of the last load asked for: the host a redirect or a script may move the page within.
    QUrl m_asked;
    // It and the addresses its server sent it on to; none until the engine begins it.
    QList<QUrl> m_askedLoads;
};
