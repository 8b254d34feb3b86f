// How the platform layer tells why a call into the system failed, the same way on both systems:
// the kind the program acts on, and the system's own code and words for a message or a log.
#pragma once

#include <string>

struct SystemError {
    enum class Kind {
        None,             // nothing failed
        Missing,          // no file, folder or library under that name
        NotARegularFile,  // a link, a pipe, a device or a folder where a file was wanted
        HeldElsewhere,    // another process holds what was asked for
        Other,
    };

    Kind kind = Kind::None;
    long code = 0;     // errno, or the Windows error code
    std::string text;  // the system's description, UTF-8

    bool failed() const { return kind != Kind::None; }
};

// The failure the calling thread's last failed system call left (errno, or GetLastError()).
SystemError lastSystemError(SystemError::Kind kind = SystemError::Kind::Other);
// `code` with the system's own description of it.
SystemError systemError(SystemError::Kind kind, long code);
