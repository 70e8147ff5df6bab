#include "job/pictures/picturebatch.h"

#include "web/eventwait.h"

#include <QEventLoop>
#include <QList>

#include <limits>

namespace {

int holdDepth = 0;
QList<PictureBatch *> liveBatches;

} // namespace

PictureBatch::Hold::Hold()
{
    ++holdDepth;
}

PictureBatch::Hold::~Hold()
{
    --holdDepth;
    // A copy: handing on outcomes may end or start batches.
    const QList<PictureBatch *> batches = liveBatches;
    for (PictureBatch *batch : batches) {
        if (liveBatches.contains(batch))
            batch->flush();
    }
}

PictureBatch::PictureBatch(Deliver deliver)
    : m_deliver(std::move(deliver))
    , m_level(holdDepth)
{
    liveBatches.append(this);
}

PictureBatch::~PictureBatch()
{
    liveBatches.removeOne(this);
}

int PictureBatch::add(const QString &url, const QString &path)
{
    const int index = int(m_outcomes.size());
    m_outcomes.emplace_back();
    // A batch made inside another's wait belongs to the command everything else waits for.
    PictureDownloads::shared().fetch(
        url, path, this, [this, index](const SaveOutcome &outcome) { settle(index, outcome); }, m_level);
    return index;
}

int PictureBatch::addKnown(const SaveOutcome &outcome)
{
    const int index = int(m_outcomes.size());
    m_outcomes.emplace_back(outcome);
    flush();
    return index;
}

bool PictureBatch::waitUntilDelivered()
{
    while (!allDelivered()) {
        QEventLoop loop;
        connect(this, &PictureBatch::delivered, &loop, &QEventLoop::quit);
        // Every fetch ends within its own time limit, so this wait ends too.
        if (EventWait::run(loop, std::numeric_limits<int>::max()) == EventWait::Outcome::Interrupted)
            return false;
    }
    return true;
}

void PictureBatch::settle(int index, const SaveOutcome &outcome)
{
    m_outcomes[size_t(index)] = outcome;
    flush();
}

void PictureBatch::flush()
{
    if (m_flushing || holdDepth > m_level)
        return;
    m_flushing = true;
    bool any = false;
    while (m_next < int(m_outcomes.size()) && m_outcomes[size_t(m_next)] && holdDepth <= m_level) {
        const int index = m_next++;
        m_deliver(index, *m_outcomes[size_t(index)]);
        any = true;
    }
    m_flushing = false;
    if (any && allDelivered())
        emit delivered();
}
