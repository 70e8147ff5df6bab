#pragma once

#include <QString>

class JobWindow;
struct JobState;

// Loads the album at state.AlbumIndex into the browser, scrolls it until its markup stops
// changing, and leaves the settled markup and the album's title in `state`. False for an album
// whose page never loaded (said in the log): it has no markup, and its address names it.
bool renderAlbum(JobState &state, JobWindow &window);

// The album's line in the log, once it is the album's turn.
void logAlbumLine(const JobState &state, JobWindow &window);

// The title as the user sees it on the page: the entities of serialized text decoded.
QString decodeTitleEntities(const QString &title);

// The album's own name from its address, for a page that shows no title.
QString albumIdFromUrl(const QString &AlbumUrl);
