#include "web/browseradapter.h"

#include "web/fetch.h"
#include "web/network.h"

void BrowserAdapter::fetchSource(Network &network, const QString &address, QObject *context,
                                 std::function<void(const QString &)> answer)
{
    GetBody(network, address, network.timings().pageLimitSeconds, context,
            [answer = std::move(answer)](const FetchResult &result) {
                answer(BytesToBstr(result, QStringLiteral("gb2312")));
            });
}
