// The process's last step, once its files are on the disk.
#pragma once

// Ends the process at once with `status`. No destructor of a static, no exit handler and, on
// Windows, no library's detach code runs: the capture, driver and player threads that may still
// be running never meet torn-down state.
[[noreturn]] void endProcessNow(int status);
