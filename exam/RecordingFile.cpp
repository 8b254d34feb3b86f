#include "exam/RecordingFile.h"

#include <system_error>

#include "platform/FileName.h"

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::open(const std::string& name, Mode mode) {
    close();
    // Never through a link, and never into a pipe or device that happens to bear the name.
    file_ = File::open(filePath(name),
                       mode == Mode::CreateNew ? File::Access::CreateNew : File::Access::Replace);
    name_ = name;
    failed_ = false;
    return file_.isOpen();
}

bool RecordingFile::write(std::span<const unsigned char> bytes) {
    if (!file_.isOpen()) {
        return false;
    }
    if (bytes.empty()) {
        return true;
    }
    if (!file_.write(bytes) || !file_.sync()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool RecordingFile::close() {
    if (!file_.isOpen()) {
        return true;
    }
    bool ok = file_.sync();
    ok = file_.close() && ok;
    failed_ = failed_ || !ok;
    return ok;
}

bool RecordingFile::closeAndRemoveIfEmpty() {
    if (!file_.isOpen()) {
        return true;
    }
    const bool empty = file_.size() == 0;
    const bool ok = close();
    if (empty) {
        std::error_code ignored;
        std::filesystem::remove(filePath(name_), ignored);
    }
    return ok;
}
