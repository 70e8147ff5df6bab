#pragma once

#include <QtGlobal>

// The network and renderer limits of an engine, all in one place: the program runs on these, and
// a test makes its engine with shorter ones. The job's page pace and hosts are its own
// (job/render/pagepace.h, job/hosts.h); the folders are in web/folders.h.
struct Timings
{
    // A fetch fails once fewer than progressBytes arrived within its limit, the window ending
    // now (or at its request, in its first seconds): slow but steady lines still finish.
    double pageLimitSeconds = 5;     // album-list and album pages
    double pictureLimitSeconds = 10; // pictures
    qint64 progressBytes = 1024;
    int scriptAnswerLimitMs = 10000;
    // A timer a page's scripts set to run within this long counts as one of its requests still to
    // come: a gallery that waits on one (a debounce after the last scroll, the next link of a
    // chain, a batch it hands out late) is not done yet.
    int pendingTimerHorizonMs = 10000;
    // Pictures fetched side by side, each on a network line of its own, so that an answer that
    // holds its line never holds the others; each one's time limit runs from when its request is sent.
    int parallelPictures = 4;
    // The longest a server's "Retry-After" may hold its host's new requests; a longer one is cut
    // to this, so that a server cannot stop a job for good.
    int retryAfterLimitSeconds = 120;
    // A host that asked for a rest this many times in a row, nothing answered in between, gets
    // no more picture requests from the job: each rest would otherwise only lead to the next.
    int restsBeforeGivingUp = 5;
    // A hostile server must not fill the memory or the disk within a time limit. The largest
    // page handed on: bytes of a fetched body; UTF-16 code units (characters as the page's
    // scripts count them) of a rendered page's markup.
    qint64 maxPageBytes = qint64(32) * 1024 * 1024;
    qint64 maxPictureBytes = qint64(256) * 1024 * 1024;
    // What one album page's renderer may take, in MiB: its scripts' heap, and all its data
    // (heap, document, layout). A page past either loses its renderer and hands over nothing.
    int pageScriptHeapMiB = 256;
    int pageProcessDataMiB = 768;
};
