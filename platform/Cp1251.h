// windows-1251 text, the code page of the files that travel and of ppe.txt, converted by the
// system's own converter (Qt's named codec on Linux, code page 1251 on Windows).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Nothing when the system has no converter for windows-1251.
std::optional<QString> decodeCp1251(QByteArrayView bytes);

// Nothing when the system has no converter, or a character of `text` has no windows-1251 byte.
std::optional<QByteArray> encodeCp1251(QStringView text);
