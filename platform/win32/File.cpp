#include "platform/File.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace {

// One call moves at most this much, well inside a DWORD.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

HANDLE handleOf(std::intptr_t handle) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is kept as an integer
    return reinterpret_cast<HANDLE>(handle);
}

struct OpenWay {
    DWORD access;
    DWORD disposition;
    DWORD flags;
    DWORD share;
};

OpenWay wayOf(File::Access access) {
    // A link (a reparse point) is opened itself, not followed, and then refused as not regular.
    constexpr DWORD noFollow = FILE_FLAG_OPEN_REPARSE_POINT;
    constexpr DWORD readShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // A file being written may be read by others, never deleted or renamed under the writer
    // (Explorer would take a recording away while it still "succeeds").
    constexpr DWORD writeShare = FILE_SHARE_READ;
    switch (access) {
        case File::Access::Read:
            return {GENERIC_READ, OPEN_EXISTING, noFollow | FILE_FLAG_SEQUENTIAL_SCAN, readShare};
        case File::Access::ReadThroughLinks:
            return {GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, readShare};
        case File::Access::CreateNew:
            return {GENERIC_WRITE, CREATE_NEW, noFollow, writeShare};
        case File::Access::Replace:
            // Not CREATE_ALWAYS: only a file found to be regular is emptied.
            return {GENERIC_WRITE, OPEN_ALWAYS, noFollow, writeShare};
        case File::Access::Append:
            // Append data only: the system puts each write at the end in one piece, so other
            // appenders may share it.
            return {GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, noFollow,
                    FILE_SHARE_READ | FILE_SHARE_WRITE};
    }
    return {GENERIC_READ, OPEN_EXISTING, noFollow, readShare};
}

SystemError::Kind kindOf(DWORD error, const std::filesystem::path& path) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return SystemError::Kind::Missing;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return SystemError::Kind::HeldElsewhere;
        case ERROR_ACCESS_DENIED: {
            // A folder cannot be opened as a file at all.
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return SystemError::Kind::NotARegularFile;
            }
            return SystemError::Kind::Other;
        }
        default:
            return SystemError::Kind::Other;
    }
}

enum class Found { RegularFile, ReparsedFile, NotAFile };

Found whatIs(HANDLE handle, BY_HANDLE_FILE_INFORMATION& information) {
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return Found::NotAFile;  // a console, a printer port, a pipe
    }
    if (!GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return Found::NotAFile;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return Found::RegularFile;
    }
    // Only a name surrogate (a symbolic link, a junction, a mount point) names another file; a
    // compressed, deduplicated or archived file is a file whose data a filter keeps.
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        IsReparseTagNameSurrogate(tag.ReparseTag)) {
        return Found::NotAFile;
    }
    return Found::ReparsedFile;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
    return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace

File File::open(const std::filesystem::path& path, Access access, FolderSync syncFolder) {
    const OpenWay way = wayOf(access);
    HANDLE handle = CreateFileW(path.c_str(), way.access, way.share, nullptr, way.disposition,
                                FILE_ATTRIBUTE_NORMAL | way.flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return File(systemError(kindOf(code, path), static_cast<long>(code)));
    }
    // OPEN_ALWAYS tells a file that was there by ERROR_ALREADY_EXISTS.
    const bool created = way.disposition == CREATE_NEW ||
                         (way.disposition == OPEN_ALWAYS && GetLastError() != ERROR_ALREADY_EXISTS);
    File file(reinterpret_cast<std::intptr_t>(handle));
    BY_HANDLE_FILE_INFORMATION information{};
    const Found found = whatIs(handle, information);
    if (found == Found::NotAFile) {
        return File(systemError(SystemError::Kind::NotARegularFile, ERROR_BAD_FILE_TYPE));
    }
    if (found == Found::ReparsedFile && (way.flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
        // Opened as its reparse point, the filter would hand over its raw data: open it again
        // through the filter, and keep it only if the name still leads to the same file. The
        // first handle goes first, as its share mode would refuse the second open.
        file.close();
        HANDLE through = CreateFileW(
            path.c_str(), way.access, way.share, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL | (way.flags & ~DWORD{FILE_FLAG_OPEN_REPARSE_POINT}), nullptr);
        if (through == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            return File(systemError(kindOf(code, path), static_cast<long>(code)));
        }
        file = File(reinterpret_cast<std::intptr_t>(through));
        BY_HANDLE_FILE_INFORMATION again{};
        if (!GetFileInformationByHandle(through, &again) || !sameFile(information, again)) {
            return File(systemError(SystemError::Kind::NotARegularFile, ERROR_BAD_FILE_TYPE));
        }
        handle = through;
    }
    if (access == Access::Replace && information.nNumberOfLinks > 1) {
        // Emptying it would empty its other names too: this name gets a new file instead.
        file.close();
        if (!DeleteFileW(path.c_str())) {
            return File(lastSystemError());
        }
        return open(path, Access::CreateNew, syncFolder);
    }
    if (access == Access::Replace && !SetEndOfFile(handle)) {
        return File(lastSystemError());
    }
    if (created) {
        file.folderSyncError_ = syncFolder(path);
    }
    return file;
}

SystemError File::syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : L".";
    // A folder opens only with backup semantics, and flushes only through a handle that may write.
    HANDLE handle = CreateFileW(folder.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD code = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) {
        const File opened(reinterpret_cast<std::intptr_t>(handle));
        if (FlushFileBuffers(handle)) {
            return {};
        }
        code = GetLastError();
    }
    // A user who may add files to the folder but not write its attributes is refused the handle,
    // and FAT or a network share cannot flush a folder; NTFS journals the new entry itself.
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION ||
        code == ERROR_NOT_SUPPORTED) {
        return {};
    }
    return systemError(SystemError::Kind::Other, static_cast<long>(code));
}

std::int64_t File::read(std::span<unsigned char> into) {
    if (!isOpen()) {
        return -1;
    }
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min(into.size(), kMaxTransfer));
    if (!ReadFile(handleOf(handle_), into.data(), wanted, &got, nullptr)) {
        return -1;
    }
    return got;
}

std::int64_t File::readAt(std::int64_t offset, std::span<unsigned char> into) {
    if (!isOpen()) {
        return -1;
    }
    LARGE_INTEGER here{};
    if (!SetFilePointerEx(handleOf(handle_), LARGE_INTEGER{}, &here, FILE_CURRENT)) {
        return -1;
    }
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    std::int64_t count = -1;
    if (SetFilePointerEx(handleOf(handle_), at, nullptr, FILE_BEGIN)) {
        count = read(into);
    }
    SetFilePointerEx(handleOf(handle_), here, nullptr, FILE_BEGIN);
    return count;
}

bool File::write(std::span<const unsigned char> bytes) {
    if (!isOpen()) {
        return false;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        if (!WriteFile(handleOf(handle_), bytes.data(), wanted, &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

bool File::sync() {
    return isOpen() && FlushFileBuffers(handleOf(handle_)) != 0;
}

std::int64_t File::size() const {
    LARGE_INTEGER size{};
    if (!isOpen() || !GetFileSizeEx(handleOf(handle_), &size)) {
        return -1;
    }
    return size.QuadPart;
}

bool File::close() {
    if (!isOpen()) {
        return true;
    }
    return CloseHandle(handleOf(std::exchange(handle_, kNoHandle))) != 0;
}

bool folderIsWritable(const std::filesystem::path& folder) {
    // Windows keeps no write bit on folders: only making a file there tells.
    const std::filesystem::path probe =
        folder / (L".write-check-" + std::to_wstring(GetCurrentProcessId()));
    HANDLE handle = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS;
    }
    CloseHandle(handle);
    return true;
}
