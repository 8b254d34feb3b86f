// A text file as the statement files are written: windows-1251 bytes, every line end CR LF.
// The file is created (or emptied) on construction and closed with the object; something other
// than a regular file under its name (a link, a pipe, a folder) leaves it unopened.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/File.h"

class Cp1251TextFile {
public:
    explicit Cp1251TextFile(const QString& path);

    // Whether the file could be created, and why not.
    bool isOpen() const { return file_.isOpen(); }
    const SystemError& error() const { return file_.error(); }

    // Appends `text`, each "\n" in it written as CR LF.
    void write(QStringView text);

    // Writes out what is buffered, syncs and closes the file. False when any write failed or
    // some character has no windows-1251 byte.
    bool finish();

private:
    void writeBuffered();

    File file_;
    QByteArray buffered_;
    bool failed_ = false;
};
