// A transferred set of answer files checked against the checksum lists that came with it:
// the check that the --verify command and the check window both run.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

enum class CheckVerdict {
    Matches,
    SizeDiffers,
    ChecksumDiffers,
    Missing,
    Unreadable,
    NotAFile,              // a folder, link, FIFO or device under the name
    UnreadableWhenListed,  // the list says -1: there was nothing to vouch for
    Unlisted,              // an answer-shaped file that no list names
};

struct CheckedFile {
    QString name;
    QString list;  // the list naming the file; empty for an unlisted one
    CheckVerdict verdict = CheckVerdict::Matches;
    std::int64_t listedSize = 0;
    std::int64_t foundSize = 0;  // when the file was read
};

enum class CheckStatus {
    Checked,
    Cancelled,
    FolderUnreadable,
    NoList,
    ListUnusable,  // some list cannot be read or has a malformed line: nothing was checked
};

// Why a list cannot be used; line 0 stands for the list as a whole.
struct ListFault {
    QString list;
    int line = 0;
    QString reason;
};

struct TransferCheckResult {
    CheckStatus status = CheckStatus::Checked;
    // The lists in name order, each in its own order, then the unlisted files in name order.
    std::vector<CheckedFile> files;
    std::vector<ListFault> faults;
};

// Told after each file read, with the count done and the count in all.
using CheckProgress = std::function<void(qsizetype filesDone, qsizetype fileCount)>;

class TransferCheck {
public:
    // Lists larger than this are refused: the lists of a whole exam site stay far below it.
    static constexpr qint64 maxListBytes = 16 << 20;

    explicit TransferCheck(QString folder) : folder_(std::move(folder)) {}

    // Reads the folder's report_*.crc lists and every file they name. Any thread; a set
    // `cancel` ends the run between two files.
    TransferCheckResult run(const CheckProgress& progress = {},
                            const std::atomic<bool>* cancel = nullptr) const;

private:
    struct Entry;

    QString path(const QString& name) const;
    // Adds the list's lines to `entries`; what is wrong with it, if anything.
    std::vector<ListFault> readList(const QString& list, std::vector<Entry>& entries) const;

    QString folder_;
};

// Whether the verdict is anything but a match.
inline bool isFailure(CheckVerdict verdict) {
    return verdict != CheckVerdict::Matches;
}
