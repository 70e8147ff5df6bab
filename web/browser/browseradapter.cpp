#include "web/browser/browseradapter.h"

#include "web/network/bytestobstr.h"
#include "web/network/network.h"
#include "web/network/pagefetch.h"

void BrowserAdapter::fetchSource(Network &network, const QString &address, QObject *context,
                                 std::function<void(const QString &)> answer)
{
    GetBody(network, address, network.timings().pageLimitSeconds, context,
            [answer = std::move(answer)](const FetchResult &result) {
                answer(BytesToBstr(result, QStringLiteral("gb2312")));
            });
}
