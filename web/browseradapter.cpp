#include "web/browseradapter.h"

#include "web/fetch.h"
#include "web/limits.h"

void BrowserAdapter::fetchSource(const QString &address, QObject *context, std::function<void(const QString &)> answer)
{
    auto *fetch = new PageFetch(address, Settings::timings().pageLimitSeconds, context);
    connect(fetch, &PageFetch::finished, context, [fetch, answer = std::move(answer)] {
        const QString source = BytesToBstr(fetch->result(), QStringLiteral("gb2312"));
        Fetch::release(fetch);
        answer(source);
    });
    fetch->start();
}
