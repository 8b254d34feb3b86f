#include "session/SiteList.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>

namespace {

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

QString decode(const QByteArray& content) {
    if (!isAscii(content)) {
        // Stateless: a sequence cut off at the end is an error, not left waiting for more bytes.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(content);
        if (!utf8.hasError()) {
            return text;
        }
    }
    QStringDecoder windows1251("windows-1251");
    Q_ASSERT(windows1251.isValid());
    return windows1251(content);
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

SiteList::SiteList(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return;
    }
    readable_ = true;
    items_ = itemsOf(content);
}

QStringList SiteList::itemsOf(QByteArray content) {
    content.replace("\r\n", "\n");
    return piecesOf(decode(content));
}
