#include "exam/RecordingFile.h"

#include <system_error>
#include <utility>

#include "platform/FileName.h"

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::open(const std::string& name, Mode mode, File::FolderSync syncFolder) {
    close();
    // Never through a link, and never into a pipe or device that happens to bear the name.
    file_ = File::open(filePath(name),
                       mode == Mode::CreateNew ? File::Access::CreateNew : File::Access::Replace,
                       syncFolder);
    name_ = name;
    failed_ = false;
    return file_.isOpen();
}

WriteResult RecordingFile::resultOf(bool succeeded) {
    if (succeeded) {
        return WriteResult::Ok;
    }
    return std::exchange(failed_, true) ? WriteResult::Failed : WriteResult::FirstFailure;
}

WriteResult RecordingFile::write(std::span<const unsigned char> bytes) {
    if (!file_.isOpen()) {
        return WriteResult::Failed;
    }
    return resultOf(bytes.empty() || (file_.write(bytes) && file_.sync()));
}

WriteResult RecordingFile::close() {
    if (!file_.isOpen()) {
        return WriteResult::Ok;
    }
    bool ok = file_.sync();
    ok = file_.close() && ok;
    return resultOf(ok);
}

WriteResult RecordingFile::closeAndRemoveIfEmpty() {
    if (!file_.isOpen()) {
        return WriteResult::Ok;
    }
    const bool empty = file_.size() == 0;
    const WriteResult result = close();
    if (empty) {
        std::error_code ignored;
        std::filesystem::remove(filePath(name_), ignored);
    }
    return result;
}
