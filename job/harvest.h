#pragma once

class JobWindow;
struct JobState;

// Saves every picture of the album in `state`, logging each and recording the failures.
void harvestAlbum(JobState &state, JobWindow &window);
