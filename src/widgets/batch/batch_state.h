#pragma once

// What the batch driver and the lookup share: the query-running flag (a name is
// looked up only while it is 1) and the index the driver selected last.
struct BatchState {
    int queryRunning = 0;
    int position = 0;
};
