#pragma once

#include "job/jobwindow.h"

#include <QList>
#include <QString>

#include <memory>

class JobWindow;
class PictureBatch;
struct JobState;
struct SaveOutcome;

// The pictures of a job's albums. An album's pictures are fetched in the background, side by
// side, while the job goes on to render the next album; their lines come in picture order.
class PictureHarvest final
{
public:
    explicit PictureHarvest(JobWindow &window);
    ~PictureHarvest();
    PictureHarvest(const PictureHarvest &) = delete;
    PictureHarvest &operator=(const PictureHarvest &) = delete;

    // Scans the album in `state` and starts its pictures, after the album before it is done.
    void start(JobState &state);
    // Returns once every picture started so far has its line; false when the application is
    // quitting.
    bool finish();

    // The albums, pictures and outcomes so far.
    const JobSummary &counts() const { return m_counts; }

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

    JobWindow &m_window;
    std::unique_ptr<PictureBatch> m_batch;
    QList<Picture> m_pictures;
    JobSummary m_counts;
};

// Saves every picture of the album in `state`, logging each and recording the failures, and
// returns when all are done.
void harvestAlbum(JobState &state, JobWindow &window);
