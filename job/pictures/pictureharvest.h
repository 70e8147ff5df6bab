#pragma once

#include "job/jobwindow.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class BarRecords;
class Engine;
class JobWindow;
class PictureBatch;
struct JobState;
struct SaveOutcome;

// The pictures of a job's albums. An album's pictures are fetched in the background, side by
// side, while the job goes on to render the next album; their lines come in picture order.
// Deleting the harvest gives up its pictures still under way.
class PictureHarvest final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureHarvest)

public:
    // The pictures are fetched from the image host of `engine` on its network; the scratch file of
    // the last picture asked for goes into `scratchFolder`.
    PictureHarvest(JobWindow &window, Engine &engine, const JobOptions &options, const QString &scratchFolder);
    ~PictureHarvest() override;

    // Scans the album in `state` and starts its pictures; the album before it must be done
    // (allDelivered()).
    void start(JobState &state);
    // True once every picture started so far has its line.
    bool allDelivered() const;

    // The albums, pictures and outcomes so far.
    const JobSummary &counts() const { return m_counts; }

signals:
    // Every picture started so far has its line.
    void delivered();

private:
    struct Picture
    {
        int ImageNo;
        int AlbumPage;
        QString ImageId;
        QString ImageUrl;
        QString ImagePath;
        enum class Source { Fetched, Skipped, Unfetchable } source;
    };

    void report(const Picture &picture, const SaveOutcome &outcome);

    BarRecords *records() const;

    JobWindow &m_window;
    Engine &m_engine;
    const JobOptions m_options;
    const QString m_scratchFolder;
    std::unique_ptr<PictureBatch> m_batch;
    QList<Picture> m_pictures;
    JobSummary m_counts;
};
