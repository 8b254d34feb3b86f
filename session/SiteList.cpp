#include "session/SiteList.h"

#include <QStringDecoder>
#include <algorithm>
#include <utility>

#include "platform/File.h"
#include "platform/FileName.h"

namespace {

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

std::optional<QString> decode(const QByteArray& content, SiteList::LegacyDecoder decodeLegacy) {
    if (isAscii(content)) {
        return QString::fromLatin1(content);
    }
    // Stateless: a sequence cut off at the end is an error, not left waiting for more bytes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(content);
    if (!utf8.hasError()) {
        return text;
    }
    return decodeLegacy(content);
}

// One item per piece, cut like a C library line read into a 1,024-byte buffer: at most
// maxPieceLength characters, ending after the first line feed.
QStringList piecesOf(const QString& text) {
    QStringList items;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        qsizetype characters = 0;
        while (end < text.size() && characters < SiteList::maxPieceLength) {
            const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() &&
                              text[end + 1].isLowSurrogate();
            const bool lineFeed = text[end] == u'\n';
            end += pair ? 2 : 1;
            ++characters;
            if (lineFeed) {
                break;
            }
        }
        QStringView piece = QStringView(text).sliced(start, end - start);
        if (piece.endsWith(u'\n')) {
            piece.chop(1);
        }
        // A piece is a C string: whatever follows a NUL byte is not part of the item.
        const qsizetype nul = piece.indexOf(QChar(u'\0'));
        items << (nul < 0 ? piece : piece.first(nul)).toString();
        start = end;
    }
    return items;
}

}  // namespace

SiteList::SiteList(const QString& fileName, LegacyDecoder decodeLegacy) {
    // Through a link, which the organiser may have made, but never waiting on a pipe.
    File file = File::open(filePath(fileName), File::Access::ReadThroughLinks);
    if (!file.isOpen()) {
        status_ = file.error().kind == SystemError::Kind::NotARegularFile ? Status::NotAFile
                                                                          : Status::Unreadable;
        return;
    }
    const std::int64_t size = file.size();
    if (size < 0) {
        return;
    }
    if (size > maxFileBytes) {
        status_ = Status::TooLarge;
        return;
    }
    // To its end, but never past the bound, even if it grows meanwhile; read in pieces, as a
    // buffer of the bound's size for every list would cost more than the list itself.
    QByteArray content;
    content.reserve(size);
    unsigned char piece[65536];
    while (content.size() <= maxFileBytes) {
        const std::int64_t count = file.read(piece);
        if (count < 0) {
            return;
        }
        if (count == 0) {
            break;
        }
        content.append(reinterpret_cast<const char*>(piece), static_cast<qsizetype>(count));
    }
    if (content.size() > maxFileBytes) {
        status_ = Status::TooLarge;
        return;
    }
    std::optional<QStringList> items = itemsOf(content, decodeLegacy);
    if (!items) {
        status_ = Status::NoConverter;
        return;
    }
    status_ = Status::Read;
    items_ = std::move(*items);
}

std::optional<QStringList> SiteList::itemsOf(QByteArray content, LegacyDecoder decodeLegacy) {
    content.replace("\r\n", "\n");
    const std::optional<QString> text = decode(content, decodeLegacy);
    if (!text) {
        return std::nullopt;
    }
    return piecesOf(*text);
}
