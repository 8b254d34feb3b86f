// The one conversion of the program's file names (Qt's UTF-16 text, or UTF-8 in plain strings)
// to the system's own: UTF-8 bytes on Linux, UTF-16 on Windows.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path filePath(const QString& name) {
    return std::filesystem::path(name.toStdU16String());
}

inline std::filesystem::path filePath(std::string_view utf8Name) {
    return filePath(QString::fromUtf8(utf8Name.data(), static_cast<qsizetype>(utf8Name.size())));
}

// A name found in a folder, for matching against the program's own ASCII name shapes: on Linux
// its bytes as Latin-1, so no name that is not valid UTF-8 can pass or fail to convert.
inline QString foundFileName(const std::string& nativeName) {
    return QString::fromLatin1(nativeName.data(), static_cast<qsizetype>(nativeName.size()));
}

inline QString foundFileName(const std::wstring& nativeName) {
    return QString::fromStdWString(nativeName);
}

inline QString foundFileName(const std::filesystem::path& name) {
    return foundFileName(name.native());
}
