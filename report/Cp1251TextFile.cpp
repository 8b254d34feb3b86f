#include "report/Cp1251TextFile.h"

Cp1251TextFile::Cp1251TextFile(const QString& path) : file_(path), encoder_("windows-1251") {
    if (encoder_.isValid()) {
        file_.open(QIODevice::WriteOnly | QIODevice::Truncate);
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
