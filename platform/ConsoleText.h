// How the command-line uses put out a line of text: as the console shows it when the stream is
// one, else as UTF-8 bytes for a file or a pipe.
#pragma once

#include <cstdio>
#include <string_view>

// Writes `utf8` and a line end to `stream`, after whatever the stream holds already.
void writeTextLine(std::FILE* stream, std::string_view utf8);
