// What the process sets up about itself before anything else runs.
#pragma once

// A write past a file-size limit fails and is reported instead of ending the process; on Windows
// a library loaded by its name is looked for only in the program's and the system's folders.
void prepareProcess();
