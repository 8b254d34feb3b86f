// A file name as the C calls receive it, for the file layer.
#pragma once

#include <filesystem>

// `wideName` (Windows only) says `name` is UTF-16; otherwise it is the system's own bytes on
// Linux, and UTF-8 (else the ANSI code page) on Windows.
std::filesystem::path sourcePath(const void* name, bool wideName);
