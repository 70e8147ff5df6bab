#pragma once

#include "web/network/picturedownloads.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

// Pictures fetched side by side and reported strictly in the order they were added: the outcome
// of a picture is handed on only once every picture before it is done, so that the log reads as
// if they had been fetched one after another. Deleting the batch gives up its pictures still
// under way.
class PictureBatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureBatch)

public:
    using Deliver = std::function<void(int index, const SaveOutcome &outcome)>;

    // The pictures are fetched by `downloads`.
    PictureBatch(PictureDownloads &downloads, Deliver deliver);
    ~PictureBatch() override;

    // Each returns the picture's index.
    int add(const QString &url, const QString &path);
    // A picture whose outcome is known without fetching it.
    int addKnown(const SaveOutcome &outcome);

    bool allDelivered() const { return m_next == int(m_outcomes.size()); }

signals:
    // Every picture added so far has been handed on.
    void delivered();

private:
    void settle(int index, const SaveOutcome &outcome);
    void flush();

    PictureDownloads &m_downloads;
    Deliver m_deliver;
    std::vector<std::optional<SaveOutcome>> m_outcomes;
    int m_next = 0;
    bool m_flushing = false;
};
