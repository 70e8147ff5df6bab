#include "job/pictures/picturebatch.h"

PictureBatch::PictureBatch(PictureDownloads &downloads, Deliver deliver)
    : m_downloads(downloads)
    , m_deliver(std::move(deliver))
{ }

PictureBatch::~PictureBatch() = default;

int PictureBatch::add(const QString &url, const QString &path)
{
    const int index = int(m_outcomes.size());
    m_outcomes.emplace_back();
    m_downloads.fetch(url, path, this, [this, index](const SaveOutcome &outcome) { settle(index, outcome); });
    return index;
}

int PictureBatch::addKnown(const SaveOutcome &outcome)
{
    const int index = int(m_outcomes.size());
    m_outcomes.emplace_back(outcome);
    flush();
    return index;
}

void PictureBatch::settle(int index, const SaveOutcome &outcome)
{
    m_outcomes[size_t(index)] = outcome;
    flush();
}

void PictureBatch::flush()
{
    if (m_flushing)
        return;
    m_flushing = true;
    bool any = false;
    while (m_next < int(m_outcomes.size()) && m_outcomes[size_t(m_next)]) {
        const int index = m_next++;
        m_deliver(index, *m_outcomes[size_t(index)]);
        any = true;
    }
    m_flushing = false;
    if (any && allDelivered())
        emit delivered();
}
