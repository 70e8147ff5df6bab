#include "web/savejpg.h"

#include "web/eventwait.h"

#include <QEventLoop>

#include <limits>
#include <optional>

SaveOutcome savePicture(const QString &url, const QString &tpm)
{
    QEventLoop loop;
    std::optional<SaveOutcome> outcome;
    // A caller waiting here holds up whatever waits around it, so its picture goes first.
    PictureDownloads::shared().fetch(
        url, tpm, &loop,
        [&](const SaveOutcome &done) {
            outcome = done;
            loop.quit();
        },
        std::numeric_limits<int>::max());
    while (!outcome) {
        if (EventWait::run(loop, std::numeric_limits<int>::max()) == EventWait::Outcome::Interrupted)
            return SaveOutcome{0, QStringLiteral("程序正在退出")};
    }
    return *outcome;
}
