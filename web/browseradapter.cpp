#include "web/browseradapter.h"

#include "web/fetch.h"
#include "web/limits.h"

void BrowserAdapter::fetchSource(const QString &address, QObject *context, std::function<void(const QString &)> answer)
{
    GetBody(address, Settings::timings().pageLimitSeconds, context,
            [answer = std::move(answer)](const FetchResult &result) {
                answer(BytesToBstr(result, QStringLiteral("gb2312")));
            });
}
