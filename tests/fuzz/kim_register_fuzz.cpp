// KimRegister::contains on any text, against strtol and the check-digit rule.
#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzCheck.h"
#include "session/KimRegister.h"

namespace {

// The C library's reading: characters beyond Latin-1 become '?', at which strtol stops as it
// does at any other non-digit, and so it does at an embedded NUL.
bool containsByStrtol(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    errno = 0;
    const long number = std::strtol(bytes.constData(), nullptr, 10);
    return errno == 0 && isValidKim(number);
}

void check(const QString& text) {
    require(KimRegister::contains(text) == containsByStrtol(text),
            "contains() agrees with strtol and the check-digit rule");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return runCheck([] { require(KimRegister::build(), "register built"); });
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runCheck([&] {
        const char* bytes = reinterpret_cast<const char*>(data);
        check(QString::fromLatin1(bytes, qsizetype(size)));
        check(QString::fromUtf8(bytes, qsizetype(size)));
        QString wide(qsizetype(size / 2), Qt::Uninitialized);
        std::memcpy(wide.data(), data, size / 2 * 2);
        check(wide);
    });
}
