#include "report/Cp1251TextFile.h"

#include <span>

#include "platform/Cp1251.h"
#include "platform/FileName.h"

namespace {
constexpr qsizetype kWriteBytes = qsizetype{64} * 1024;
}

Cp1251TextFile::Cp1251TextFile(const QString& path)
    // Never written through a link, nor into a pipe that would hold the statement up.
    : file_(File::open(filePath(path), File::Access::Replace)) {}

void Cp1251TextFile::write(QStringView text) {
    std::optional<QByteArray> bytes = encodeCp1251(text);
    if (!bytes) {
        failed_ = true;
        return;
    }
    bytes->replace("\n", "\r\n");
    buffered_ += *bytes;
    if (buffered_.size() >= kWriteBytes) {
        writeBuffered();
    }
}

void Cp1251TextFile::writeBuffered() {
    const auto* data = reinterpret_cast<const unsigned char*>(buffered_.constData());
    if (!file_.write(std::span(data, static_cast<std::size_t>(buffered_.size())))) {
        failed_ = true;
    }
    buffered_.clear();
}

bool Cp1251TextFile::finish() {
    writeBuffered();
    const bool synced = file_.sync();
    const bool closed = file_.close();
    return synced && closed && !failed_;
}
