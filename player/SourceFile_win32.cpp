#include "SourceFile.h"

#include <windows.h>

#include <string>
#include <utility>

namespace {

std::wstring wideFrom(const char* name, UINT codePage, DWORD flags) {
    const int length = MultiByteToWideChar(codePage, flags, name, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, name, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

HANDLE toHandle(intptr_t handle) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is kept as an integer
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::optional<SourceFile> SourceFile::open(const void* name, bool wideName) {
    std::wstring wide;
    if (wideName) {
        wide = static_cast<const wchar_t*>(name);
    } else {
        const auto* bytes = static_cast<const char*>(name);
        wide = wideFrom(bytes, CP_UTF8, MB_ERR_INVALID_CHARS);
        if (wide.empty())
            wide = wideFrom(bytes, CP_ACP, 0);
    }
    if (wide.empty())
        return std::nullopt;

    // Shared for writing and deleting too, so playing a file never stands in the way of the
    // program's own handling of it. A folder does not open without backup semantics.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    SourceFile file(reinterpret_cast<intptr_t>(handle), 0);
    LARGE_INTEGER size{};
    // Pipes and devices (NUL, CON) are not files on disk.
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size))
        return std::nullopt;
    file.size_ = static_cast<uint64_t>(size.QuadPart);
    return file;
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(other.size_) {}

SourceFile::~SourceFile() {
    if (handle_ != -1)
        CloseHandle(toHandle(handle_));
}

int64_t SourceFile::readAt(void* buffer, size_t count, uint64_t offset) const {
    // With an OVERLAPPED offset a read on a synchronous handle starts there and waits, so
    // concurrent readers need no shared position.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    if (ReadFile(toHandle(handle_), buffer, want, &got, &at))
        return got;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}
