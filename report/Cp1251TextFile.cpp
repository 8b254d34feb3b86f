#include "report/Cp1251TextFile.h"

#include <unistd.h>

#include "platform/RegularFile.h"

Cp1251TextFile::Cp1251TextFile(const QString& path) : encoder_("windows-1251") {
    if (!encoder_.isValid()) {
        return;
    }
    // Never written through a link, nor into a pipe that would hold the statement up.
    RegularFile file =
        RegularFile::open(QFile::encodeName(path).toStdString(), RegularFile::Access::Replace);
    if (!file.isOpen()) {
        return;
    }
    const int fd = file.release();
    if (!file_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
    }
}

void Cp1251TextFile::write(QStringView text) {
    QByteArray bytes = encoder_.encode(text);
    bytes.replace("\n", "\r\n");
    if (file_.write(bytes) != bytes.size()) {
        failed_ = true;
    }
}

bool Cp1251TextFile::finish() {
    const bool flushed = file_.flush();
    file_.close();
    return flushed && !failed_ && !encoder_.hasError() && file_.error() == QFileDevice::NoError;
}
