#pragma once

struct Timings;

// Tells the web engine, before it exists, how this program runs it, its renderers bounded as
// `timings` say: call it first in main(), before the application object is created.
void prepareWebEngine(const Timings &timings);

// Standard error carries the program's own log; Qt's and the engine's chatter (graphics back
// ends, the sandbox, the network) does not belong in it. Only critical and fatal messages still
// go there, unless QT_LOGGING_RULES asks for more. Call it first in main(), before
// prepareWebEngine().
void quietQtMessages();
