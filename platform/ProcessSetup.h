// What the process sets up about itself before anything else runs.
#pragma once

// A write past a file-size limit fails and is reported instead of ending the process; text the
// command-line modes print reads as Russian in the system's console.
void prepareProcess();
