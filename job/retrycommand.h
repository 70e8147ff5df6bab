#pragma once

struct FailureLists;

// Tries every recorded failure once more and keeps in `lists` exactly the pairs that fail again.
// Anything appended to the lists meanwhile (by a command running inside a wait) stays in them.
void runRetry(FailureLists &lists);
