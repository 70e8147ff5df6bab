#pragma once

#include <QSet>

// The web engine's network side is a process of its own (see prepareWebEngine()), which the
// engine starts afresh when it has gone.

// The network services the engine runs now: processes below this one.
QSet<qint64> networkServices();

// A server that answers with interim responses without end keeps the network service reading
// for good, and every later page would wait behind it. Ends the network services the engine runs
// now, so that it starts a fresh one; returns the ones ended.
QSet<qint64> endNetworkService();
