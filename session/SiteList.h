// The exam sites of the site list file, as the items the session set-up offers: the file in
// pieces of at most 1,023 characters, one item per piece, each piece's line feed dropped.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class SiteList {
public:
    static constexpr qsizetype maxPieceLength = 1023;

    // Reads `fileName`. A file that cannot be opened or read gives no items and !isReadable().
    explicit SiteList(const QString& fileName);

    bool isReadable() const { return readable_; }
    const QStringList& items() const { return items_; }

    // The items of a file's bytes. The file is windows-1251, but one that is valid UTF-8 with
    // some non-ASCII text was made on Linux and is read as UTF-8. CR LF counts as one line feed.
    static QStringList itemsOf(QByteArray content);

private:
    bool readable_ = false;
    QStringList items_;
};
