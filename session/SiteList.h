// The exam sites of the site list file, as the items the session set-up offers: the file in
// pieces of at most 1,023 characters, one item per piece, each piece's line feed dropped.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/Cp1251.h"

class SiteList {
public:
    static constexpr qsizetype maxPieceLength = 1023;
    // Far above any real list; anything larger is not one and would only fill memory.
    static constexpr qint64 maxFileBytes = qint64{16} * 1024 * 1024;
    // Turns the file's legacy bytes into text; nothing when the system cannot.
    using LegacyDecoder = std::optional<QString> (*)(QByteArrayView bytes);

    enum class Status {
        Read,
        Unreadable,   // missing, or it cannot be opened or read
        NotAFile,     // a folder, a pipe, a socket or a device
        TooLarge,     // more than maxFileBytes
        NoConverter,  // its text needs a converter from the legacy encoding the system lacks
    };

    // Reads `fileName`; any status but Read gives no items.
    explicit SiteList(const QString& fileName, LegacyDecoder decodeLegacy = decodeCp1251);

    Status status() const { return status_; }
    bool isReadable() const { return status_ == Status::Read; }
    const QStringList& items() const { return items_; }

    // The items of a file's bytes. The file is windows-1251, but one that is valid UTF-8 with
    // some non-ASCII text was made on Linux and is read as UTF-8. CR LF counts as one line feed.
    // Nothing when the bytes need the legacy decoder and it cannot convert them.
    static std::optional<QStringList> itemsOf(QByteArray content,
                                              LegacyDecoder decodeLegacy = decodeCp1251);

private:
    Status status_ = Status::Unreadable;
    QStringList items_;
};
