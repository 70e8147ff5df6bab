#pragma once

#include "job/albums/albumfolders.h"
#include "job/jobstate.h"
#include "job/jobwindow.h"
#include "job/restnotice.h"

#include <QFile>
#include <QObject>

#include <memory>
#include <optional>

class AlbumPages;
class AlbumRendering;
class BarRecords;
class Engine;
class PictureHarvest;
struct FetchResult;

// One run of the Start command: discovers the bar's albums, renders each and saves its pictures.
// It runs on the event loop, on signals and timers, and tells of its end through finished().
// Deleting it stops it where it stands: its pages are let go of, and its pictures still under
// way given up, so that every picture is whole or not there.
class StartCommand final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StartCommand)

public:
    StartCommand(JobWindow &window, const JobRequest &request, QObject *parent = nullptr);
    ~StartCommand() override;

    // Begins the job and returns at once.
    void start();
    bool isFinished() const { return m_finished; }
    const JobSummary &summary() const { return m_summary; }

signals:
    // After the job's last log line, and after its observer heard of its end.
    void finished(const JobSummary &summary);

private:
    void openScratchFile();
    void fetchListPage();
    void listPageFetched(const QString &pageUrl, const FetchResult &page);
    void albumsDiscovered();
    bool prepareBarFolder();
    void processAlbums();
    void albumReady(int index);
    void advance();
    void harvestAlbum();
    void nextAlbum();
    void complete();
    void end(JobSummary::End how);
    void ended();
    BarRecords *records() const;

    JobWindow &m_window;
    const JobRequest m_request;
    Engine &m_engine;
    JobState m_state;
    QFile m_scratch;
    AlbumFolders m_albumFolders;
    JobSummary m_summary;
    std::optional<HoldNotice> m_holdNotice;
    std::unique_ptr<PictureHarvest> m_harvest;
    std::unique_ptr<AlbumPages> m_pages;
    // The page of album AlbumIndex once it is ready (null for one passed over); its turn comes
    // once the album before it has all its picture lines.
    std::unique_ptr<AlbumRendering> m_render;
    bool m_renderReady = false;
    bool m_finished = false;
};
