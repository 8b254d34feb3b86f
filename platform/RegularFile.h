// A regular file opened so that nothing else standing under its name is followed or waited on:
// a link, a pipe, a socket, a device or a folder is refused, never read or written.
#pragma once

#include <string>

// Owns the descriptor and closes it with the object.
class RegularFile {
public:
    enum class Access {
        Read,              // an existing file; a link in its place is refused
        ReadThroughLinks,  // an existing file, or a link to one
        CreateNew,         // a new file; anything already under the name refuses it
        Replace,           // a new file, or an existing one emptied; a link is refused
    };
    // Why an open failed.
    enum class Failure { None, Missing, NotARegularFile, Other };

    static RegularFile open(const std::string& path, Access access);

    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    Failure failure() const { return failure_; }
    // Hands the descriptor to the caller, who closes it from then on.
    int release();

private:
    RegularFile(int fd, Failure failure) : fd_(fd), failure_(failure) {}
    void close();

    int fd_ = -1;
    Failure failure_ = Failure::None;
};
