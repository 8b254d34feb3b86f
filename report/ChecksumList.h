// A checksum list read back: the "name;hex checksum;size" lines the statement writes beside
// its page, every line checked, so a damaged or edited list is refused rather than guessed at.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

// One line of a list. A size of -1 says the file could not be read when the list was made.
struct ListedFile {
    QString name;
    std::uint32_t checksum = 0;
    std::int64_t size = 0;
    int line = 0;  // from 1
};

// Why one line (or the list as a whole, line 0) cannot be used.
struct ListProblem {
    int line = 0;
    QString reason;
};

struct ChecksumList {
    std::vector<ListedFile> files;
    // At most maxProblems; a list with any is not to be used.
    std::vector<ListProblem> problems;
    int problemsLeftOut = 0;

    static constexpr std::size_t maxProblems = 20;
};

// Reads the bytes of a list: lines ending in CR LF or LF (the last may end without one), each
// a bare answer-file name, its checksum in 1 to 8 hex digits and its size in decimal or -1.
ChecksumList parseChecksumList(QByteArrayView bytes);
