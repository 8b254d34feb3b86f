// One recording on disk, written block by block. Each block is on the disk before write()
// returns, so a crash or power cut loses at most the block in hand; a failure is never silent.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/File.h"

// What a write or a close of a recording did. Only a file's first failure is told to the
// organiser: later ones of the same file are Failed.
enum class WriteResult { Ok, Failed, FirstFailure };

// Owns its file and closes it on destruction. Used by one thread at a time; the exam's
// threads hand a file over through the session state's orderings.
class RecordingFile {
public:
    enum class Mode {
        CreateNew,  // refuses a name that exists: a recording is never overwritten by accident
        Replace,    // creates or empties, after the organiser has agreed to lose the old one
    };

    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Closes any file still open first. False, with nothing open, when the file cannot be made
    // or something other than a regular file (a link, a pipe, a folder) stands under the name.
    bool open(const std::string& name, Mode mode,
              File::FolderSync syncFolder = &File::syncFolderOf);
    bool isOpen() const { return file_.isOpen(); }
    const std::string& name() const { return name_; }
    // Why the last open failed; and for a file it made, why its name may not be on the disk yet.
    const SystemError& openError() const { return file_.error(); }
    const SystemError& folderSyncError() const { return file_.folderSyncError(); }

    // Writes all of `bytes` and syncs the file's data. The file stays open after a failure, so
    // later blocks are still tried; with nothing open the write is Failed, never told.
    WriteResult write(std::span<const unsigned char> bytes);
    // Whether a write or the close has failed since the file was opened.
    bool hasFailed() const { return failed_; }

    // Does nothing (Ok) when nothing is open; fails when the last data could not be made safe.
    WriteResult close();
    // Closes and, when the file is an empty regular file, removes its name as well.
    WriteResult closeAndRemoveIfEmpty();

private:
    WriteResult resultOf(bool succeeded);

    File file_;
    std::string name_;
    bool failed_ = false;
};
