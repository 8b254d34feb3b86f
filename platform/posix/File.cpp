#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

int flagsOf(File::Access access) {
    switch (access) {
        case File::Access::Read:
            return O_RDONLY | O_NOFOLLOW;
        case File::Access::ReadThroughLinks:
            return O_RDONLY;
        case File::Access::CreateNew:
            return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        case File::Access::Replace:
            // Not O_TRUNC: only a file found to be regular is emptied.
            return O_WRONLY | O_CREAT | O_NOFOLLOW;
        case File::Access::Append:
            return O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW;
    }
    return O_RDONLY | O_NOFOLLOW;
}

SystemError::Kind kindOf(int error) {
    switch (error) {
        case ENOENT:
            return SystemError::Kind::Missing;
        case ELOOP:   // a link, refused by O_NOFOLLOW
        case ENXIO:   // a pipe nobody reads, or a socket
        case EISDIR:  // a folder opened for writing
        case ENODEV:
            return SystemError::Kind::NotARegularFile;
        default:
            return SystemError::Kind::Other;
    }
}

bool isReadAccess(File::Access access) {
    return access == File::Access::Read || access == File::Access::ReadThroughLinks;
}

int openRetrying(const std::filesystem::path& path, int flags) {
    // Without O_NONBLOCK, opening a pipe would wait until someone opened its other end.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// As ::open; one that may create tries O_EXCL first, so that `created` tells whether this call
// made the file and its folder must be synced.
int openTellingCreated(const std::filesystem::path& path, int flags, bool& created) {
    created = false;
    if ((flags & O_CREAT) == 0) {
        return openRetrying(path, flags);
    }
    const int fd = openRetrying(path, flags | O_EXCL);
    if (fd >= 0 || errno != EEXIST || (flags & O_EXCL) != 0) {
        created = fd >= 0;
        return fd;
    }
    return openRetrying(path, flags & ~O_CREAT);
}

}  // namespace

File File::open(const std::filesystem::path& path, Access access, FolderSync syncFolder) {
    bool created = false;
    const int fd = openTellingCreated(path, flagsOf(access), created);
    if (fd < 0) {
        return File(lastSystemError(kindOf(errno)));
    }
    File file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return File(lastSystemError());
    }
    if (!S_ISREG(status.st_mode)) {
        return File(systemError(SystemError::Kind::NotARegularFile, EINVAL));
    }
    if (access == Access::Replace && status.st_nlink > 1) {
        // Emptying it would empty its other names too: this name gets a new file instead.
        file.close();
        if (::unlink(path.c_str()) != 0) {
            return File(lastSystemError());
        }
        return open(path, Access::CreateNew, syncFolder);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return File(lastSystemError());
    }
    if (access == Access::Replace && ::ftruncate(fd, 0) != 0) {
        return File(lastSystemError());
    }
    if (isReadAccess(access)) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    if (created) {
        file.folderSyncError_ = syncFolder(path);
    }
    return file;
}

SystemError File::syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const int fd = openRetrying(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return lastSystemError();
    }
    const File opened(fd);
    // As in sync(): a file system that cannot sync a folder has nothing to make safe.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        return lastSystemError();
    }
    return {};
}

std::int64_t File::read(std::span<unsigned char> into) {
    if (!isOpen()) {
        return -1;
    }
    ssize_t count = 0;
    do {
        count = ::read(static_cast<int>(handle_), into.data(), into.size());
    } while (count < 0 && errno == EINTR);
    return count;
}

std::int64_t File::readAt(std::int64_t offset, std::span<unsigned char> into) {
    if (!isOpen()) {
        return -1;
    }
    ssize_t count = 0;
    do {
        count = ::pread(static_cast<int>(handle_), into.data(), into.size(), offset);
    } while (count < 0 && errno == EINTR);
    return count;
}

bool File::write(std::span<const unsigned char> bytes) {
    if (!isOpen()) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool File::sync() {
    if (!isOpen()) {
        return false;
    }
    return ::fdatasync(static_cast<int>(handle_)) == 0 || errno == EINVAL || errno == EROFS;
}

std::int64_t File::size() const {
    struct stat status {};
    if (!isOpen() || ::fstat(static_cast<int>(handle_), &status) != 0) {
        return -1;
    }
    return status.st_size;
}

bool File::close() {
    if (!isOpen()) {
        return true;
    }
    // Linux releases the descriptor even when close reports an error: never retry it.
    const bool ok = ::close(static_cast<int>(std::exchange(handle_, kNoHandle))) == 0;
    return ok;
}

bool folderIsWritable(const std::filesystem::path& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}
