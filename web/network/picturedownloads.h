#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

class Network;

// What became of one picture save.
struct SaveOutcome
{
    qint64 bytes = 0; // bytes put at the target; 0 when nothing was
    QString reason;   // why the picture does not count as saved; empty when it does

    bool saved() const { return reason.isEmpty(); }
};

// Fetches pictures side by side on this thread, each straight into its target file as the bytes
// arrive, never more than the set number at once, each on a network line no other running
// picture uses. Each picture's time limit runs from when its request is sent, not while it
// waits for a free line. A host that answers 429 or 503 with "Retry-After" gets no new picture
// request until then, and that picture is tried once more; a host given up (HostHolds) gets
// none at all. The lines, rests and limits are those of its network.
class PictureDownloads final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureDownloads)

public:
    using Done = std::function<void(const SaveOutcome &)>;

    explicit PictureDownloads(Network &network);
    ~PictureDownloads() override;

    // `done` runs once the outcome is known, unless `context` is gone by then: a picture whose
    // `context` goes is given up, and nothing of it is kept.
    void fetch(const QString &url, const QString &tpm, QObject *context, Done done);
    int running() const { return m_running; }

private:
    struct Request
    {
        QString url;
        QString tpm;
        QPointer<QObject> context;
        Done done;
        bool again = false; // tried once more after the rest its server asked for
    };

    void startWaiting();
    void start(Request request);
    void finish(const Request &request, int line, const SaveOutcome &outcome, qint64 askedRestMs, bool answered);
    // A picture of a host that was given up fails without being asked for.
    void failGivenUp(Request request);

    Network &m_network;
    std::deque<Request> m_waiting;
    int m_running = 0;
    std::vector<bool> m_busyLines;
    QTimer m_resume; // starts what waited for a host's rest to end
};
