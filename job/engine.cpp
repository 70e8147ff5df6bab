#include "job/engine.h"

EngineSettings EngineSettings::shipped()
{
    EngineSettings settings;
    settings.hosts = Hosts::fromEnvironment();
    return settings;
}

Engine::Engine(const EngineSettings &settings)
    : m_network(settings.timings)
    , m_pagePace(settings.pagePace)
    , m_hosts(settings.hosts)
    , m_folders(settings.folders)
    , m_choices(settings.choices)
{ }

Engine::~Engine() = default;
