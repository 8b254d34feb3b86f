// File names of the two audio libraries the program loads at run time from its own folder.
#pragma once

inline constexpr const char* encoderLibraryFileName = "liblame_enc.so";
inline constexpr const char* playerLibraryFileName = "libbass.so";
