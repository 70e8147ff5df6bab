#pragma once

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

    int saved() const { return m_saved; }
    int skipped() const { return m_skipped; }
    int failed() const { return m_failed; }

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
    int m_saved = 0;
    int m_skipped = 0;
    int m_failed = 0;
};

// Saves every picture of the album in `state`, logging each and recording the failures, and
// returns when all are done.
void harvestAlbum(JobState &state, JobWindow &window);
