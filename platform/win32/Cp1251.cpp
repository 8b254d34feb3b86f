#include "platform/Cp1251.h"

#include <windows.h>

namespace {
constexpr UINT kCodePage = 1251;
}

std::optional<QString> decodeCp1251(QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        return QString();
    }
    const int size = static_cast<int>(bytes.size());
    const int count = MultiByteToWideChar(kCodePage, 0, bytes.data(), size, nullptr, 0);
    if (count <= 0) {
        return std::nullopt;
    }
    QString text(count, Qt::Uninitialized);
    MultiByteToWideChar(kCodePage, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                        count);
    return text;
}

std::optional<QByteArray> encodeCp1251(QStringView text) {
    if (text.isEmpty()) {
        return QByteArray();
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = static_cast<int>(text.size());
    // No best fit: a character without its own byte is an error, not a look-alike.
    BOOL usedDefault = FALSE;
    const int count = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, size, nullptr, 0,
                                          nullptr, &usedDefault);
    if (count <= 0 || usedDefault) {
        return std::nullopt;
    }
    QByteArray bytes(count, Qt::Uninitialized);
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, size, bytes.data(), count, nullptr,
                        nullptr);
    return bytes;
}
