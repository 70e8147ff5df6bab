#include "tools/forumsim/forumserver.h"
#include "tools/forumsim/quitonsignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringBuilder>

#include <optional>

#include <cstdio>

namespace {

struct Options
{
    QString config;
    quint16 port = 0;
};

int failWith(const QString &message)
{
    std::fprintf(stderr, "forumsim: %s\n", qPrintable(message));
    return 1;
}

std::optional<Options> parseOptions(const QCoreApplication &app, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Serves a simulated forum with photo albums on 127.0.0.1."_qs);
    parser.addHelpOption();
    parser.addOption({u"config"_qs, u"JSON file describing the bars, albums and pictures."_qs, u"file"_qs});
    parser.addOption({u"port"_qs, u"Port to listen on; 0 picks a free one."_qs, u"N"_qs, u"0"_qs});
    parser.process(app);
    bool portOk = false;
    const uint port = parser.value(u"port"_qs).toUInt(&portOk);
    if (!parser.isSet(u"config"_qs))
        *error = u"--config <file.json> is required"_qs;
    else if (!portOk || port > 65535)
        *error = u"--port must be a number from 0 to 65535"_qs;
    else
        return Options{parser.value(u"config"_qs), quint16(port)};
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    // No windowing system needed: the JPEG writer is a plugin that QCoreApplication can load.
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Options> options = parseOptions(app, &error);
    if (!options)
        return failWith(error);
    ForumServer server;
    if (!server.loadFile(options->config, &error))
        return failWith(error);
    QuitOnSignal quitOnSignal;
    if (!server.listen(options->port))
        return failWith(u"cannot listen on 127.0.0.1:"_qs % QString::number(options->port) % u": "_qs %
                        server.errorString());
    // Scripts wait for this one line to learn the port, so it must not sit in a buffer.
    std::printf("listening on %s\n", qPrintable(server.hostAndPort()));
    std::fflush(stdout);
    return app.exec();
}
