#include "web/browser/enginehealth.h"

EngineHealth::EngineHealth()
{
    m_clock.start();
}

void EngineHealth::loadGivenUp(qint64 startMs)
{
    if (!m_givenUpLoads.contains(startMs))
        m_givenUpLoads.append(startMs);
    m_suspect = true;
}

bool EngineHealth::stuck()
{
    m_givenUpLoads.removeIf([this](qint64 start) { return start < m_lastLoadFinishedMs; });
    return !m_givenUpLoads.isEmpty();
}

void EngineHealth::renewed()
{
    m_givenUpLoads.clear();
    m_suspect = false;
}
