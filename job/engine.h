#pragma once

#include "job/hosts.h"
#include "job/render/paceclock.h"
#include "job/render/pagepace.h"
#include "job/settingsfile.h"

#include "web/browser/enginehealth.h"
#include "web/files/folders.h"
#include "web/network/network.h"

// How an engine runs its jobs, given when it is made.
struct EngineSettings
{
    Timings timings;
    PagePace pagePace;
    Hosts hosts;
    Folders folders;
    // What a job takes when its front end chose no pace and pages of its own.
    JobChoices choices;

    // What the programs run on: the shipped limits and pace, the hosts the environment names.
    static EngineSettings shipped();
};

// What a process's jobs share, made once in main() and handed down by reference: the network
// (its lines, the rests hosts asked for, the pictures under way), what the browser pages learn
// together of the engine's network side, the clock the pages settle by, and the settings. A test
// makes its own, with its own settings.
class Engine final
{
public:
    explicit Engine(const EngineSettings &settings = EngineSettings::shipped());
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    Network &network() { return m_network; }
    EngineHealth &health() { return m_health; }
    PaceClock &clock() { return m_clock; }

    const Timings &timings() const { return m_network.timings(); }
    const PagePace &pagePace() const { return m_pagePace; }
    const Hosts &hosts() const { return m_hosts; }
    const Folders &folders() const { return m_folders; }
    const JobChoices &choices() const { return m_choices; }

    // For tests, between jobs: a job reads them as it goes.
    void setTimings(const Timings &timings) { m_network.setTimings(timings); }
    void setPagePace(const PagePace &pace) { m_pagePace = pace; }
    void setHosts(const Hosts &hosts) { m_hosts = hosts; }
    void setFolders(const Folders &folders) { m_folders = folders; }
    void setChoices(const JobChoices &choices) { m_choices = choices; }

private:
    Network m_network;
    EngineHealth m_health;
    RealClock m_clock;
    PagePace m_pagePace;
    Hosts m_hosts;
    Folders m_folders;
    JobChoices m_choices;
};
