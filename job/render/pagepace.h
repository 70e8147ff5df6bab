#pragma once

// How a job reads an album page: how long it lets the page settle, how it scrolls it down so
// that the page loads its later pictures, and the bounds that keep a page that never loads or
// never settles from holding a job for ever. Each engine has its own: the program runs on these,
// and a test makes its engine with a shorter one.
struct PagePace
{
    int afterLoadMs = 2500;
    int scrollSteps = 10;
    int scrollStepPixels = 1000;
    int scrollStepMs = 150;
    int afterScrollMs = 2500;
    int loadWaitLimitMs = 60000;
    int maxScrollPasses = 30;
    // A pass goes on stepping down past the fixed steps until the page's end, at most this far.
    int maxScrollStepsPerPass = 500;

    // The adaptive pace: steps down as soon as the page has had a few frames, and counts the
    // page as settled at its end once nothing changed for endSpellMs() and none of its own
    // requests was open or moved for quietMs (networkQuietMs for one seen only as it began), or,
    // on a page whose requests never rest, once nothing changed for stillMs. The spells outlast
    // what galleries wait before asking for more (a debounce after the last scroll, a timer
    // between batches) and what a batch then takes to come; and where nothing tells whether more
    // is coming, the page is given at least the wait the fixed pace gives it after each pass.
    int adaptiveStepMs = 50;
    int adaptiveProbeMs = 100;
    int quietMs = 2200;
    int networkQuietMs = 3500;
    int stillMs = 6000;
    // As long as the fixed pace's passes may go on: a page that goes on changing gets no less.
    int adaptiveLimitMs = 120000;
    // How often a page that changed by itself at its end is scrolled once more while it does not grow.
    int unaskedScrolls = 3;
    // A page that has rested at its end is scrolled up a step and back once more, since a gallery
    // may ask for more only on a scroll that comes after its last batch; what that brings is
    // waited for at least this long, or as long as the page took to react to a scroll before.
    int nudgeSpellMs = 500;
    // An event stream, web socket or streamed answer still open is busy for this long after it
    // last delivered, or for half as long again as its longest gap between deliveries, up to
    // streamSpellMaxMs: one that goes on delivering for ever does not hold a page past its bound.
    int streamSpellMs = 5000;
    int streamSpellMaxMs = 10000;

    int endSpellMs() const { return quietMs > afterScrollMs ? quietMs : afterScrollMs; }
    // A pass of the fixed pace at a page's end: its steps, then its wait.
    int passMs() const { return scrollSteps * scrollStepMs + afterScrollMs; }
};
