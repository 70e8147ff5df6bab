#include "web/engine/silentpage.h"

#include <QAuthenticator>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

SilentPage::SilentPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    refuseEngineRequests();
}

void SilentPage::refuseEngineRequests()
{
    connect(this, &QWebEnginePage::certificateError, this,
            [](QWebEngineCertificateError error) { error.rejectCertificate(); });
    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl &origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
}

void SilentPage::javaScriptAlert(const QUrl &securityOrigin, const QString &msg)
{
    if (!m_silent)
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool SilentPage::javaScriptConfirm(const QUrl &securityOrigin, const QString &msg)
{
    return m_silent ? false : QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool SilentPage::javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                                  QString *result)
{
    return m_silent ? false : QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void SilentPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{
    // The pages' own console chatter would drown the activity lines on standard error.
}

QStringList SilentPage::chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                                    const QStringList &acceptedMimeTypes)
{
    return m_silent ? QStringList() : QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

QWebEnginePage *SilentPage::createWindow(WebWindowType)
{
    return nullptr;
}

void SilentPage::expectNavigation()
{
    m_expecting = true;
    m_askedLoads.clear();
}

bool SilentPage::isAskedLoad(const QUrl &url) const
{
    return m_askedLoads.contains(url.adjusted(QUrl::RemoveFragment));
}

namespace {

// The host and port of the address asked for; one asked for without a port is met on the
// scheme's own port.
bool onHostOf(const QUrl &url, const QUrl &asked)
{
    if (asked.host().isEmpty() || url.host().compare(asked.host(), Qt::CaseInsensitive) != 0)
        return false;
    const int defaultPort = url.scheme() == u"https" ? 443 : 80;
    return asked.port() >= 0 ? url.port(defaultPort) == asked.port() : url.port(defaultPort) == defaultPort;
}

} // namespace

bool SilentPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return true;
    if (m_expecting) {
        // Only load() navigates as typed, also to the address already shown.
        if (type != NavigationTypeTyped)
            return false;
        m_expecting = false;
        m_loaded = false;
        m_asked = url;
        m_askedLoads = {url.adjusted(QUrl::RemoveFragment)};
        return true;
    }
    const bool onHost = (url.scheme() == u"http" || url.scheme() == u"https") && onHostOf(url, m_asked);
    // A move within the document (its fragment) is the page's own business.
    if (onHost && url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == this->url().adjusted(QUrl::RemoveFragment))
        return true;
    // While the address asked for loads, its server may send it on within its host (the job asks
    // only for the forum's pages). Past that the page is the album's: another page's title and
    // picture identifiers must never pass for the album's, even another album's of the forum.
    if (onHost && type == NavigationTypeRedirect && !m_loaded) {
        m_askedLoads.append(url.adjusted(QUrl::RemoveFragment));
        return true;
    }
    emit navigationRefused(url, !onHost);
    return false;
}
