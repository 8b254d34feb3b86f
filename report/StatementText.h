// The texts of the two statement files: the HTML page's fixed parts and rows, and the lines of
// the checksum list. Line ends are "\n" here; the file writer turns them into CR LF.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "report/FileDigest.h"
#include "session/SessionCodes.h"

// Everything before the first row: style, encoding, the session header and the table header.
QString statementHead(const SessionCodes& codes);

// The row of the answer file `name`, numbered from 1, with its audit notes (empty for none).
// A file that could not be read shows the size -1.
QString statementRow(int rowNumber, const QString& name, const std::optional<FileDigest>& digest,
                     const QString& notes);

// The table's end and the organiser's signature line; the page ends without a line end.
QString statementTail();

// The checksum list's line for `name`: name, checksum in hex, size; 0 and -1 for a file that
// could not be read.
QString checksumLine(const QString& name, const std::optional<FileDigest>& digest);
