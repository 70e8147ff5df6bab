#pragma once

#include "web/files/filecalls.h"

#include "web/network/timings.h"

#include <memory>

class HostHolds;
class NetworkLines;
class PictureDownloads;

// The network side of an engine: its limits, its network lines, the rests its hosts asked for
// and its pictures under way. Whatever fetches is handed one; nothing of it is the process's.
class Network final
{
public:
    explicit Network(const Timings &timings = {});
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    const Timings &timings() const { return m_timings; }
    // For tests: from the next fetch on.
    void setTimings(const Timings &timings) { m_timings = timings; }
    // How the pictures are put in place: the system's calls, or a test's from the next picture on.
    FileCalls &fileCalls() const { return *m_fileCalls; }
    void setFileCalls(FileCalls &calls) { m_fileCalls = &calls; }

    NetworkLines &lines() { return *m_lines; }
    HostHolds &holds() { return *m_holds; }
    PictureDownloads &pictures() { return *m_pictures; }

private:
    Timings m_timings;
    FileCalls *m_fileCalls = &FileCalls::system();
    // The pictures go first, then the rests; the lines, which their fetches use, last.
    std::unique_ptr<NetworkLines> m_lines;
    std::unique_ptr<HostHolds> m_holds;
    std::unique_ptr<PictureDownloads> m_pictures;
};
