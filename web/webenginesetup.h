#pragma once

// Tells the web engine, before it exists, how this program runs it: call it first in main(),
// before the application object is created.
void prepareWebEngine();
