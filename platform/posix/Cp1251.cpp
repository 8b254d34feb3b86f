#include "platform/Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char* kEncoding = "windows-1251";
}

std::optional<QString> decodeCp1251(QByteArrayView bytes) {
    QStringDecoder decoder(kEncoding);
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    return QString(decoder(bytes));
}

std::optional<QByteArray> encodeCp1251(QStringView text) {
    QStringEncoder encoder(kEncoding);
    if (!encoder.isValid()) {
        return std::nullopt;
    }
    QByteArray bytes = encoder(text);
    if (encoder.hasError()) {
        return std::nullopt;
    }
    return bytes;
}
