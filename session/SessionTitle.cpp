#include "session/SessionTitle.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

QString sessionTitle(const SessionCodes& codes, std::int32_t maxAnswerSeconds) {
    QString title = QStringLiteral("ППЭ %1   ауд %2  предмет %3")
                        .arg(codes.site, codes.classroom, codes.subject);
    if (maxAnswerSeconds > 0) {
        title += QStringLiteral(" (макс.запись - %1 сек)").arg(maxAnswerSeconds);
    }
    return title;
}

std::int32_t maxAnswerSecondsFrom(const QString& text) {
    // Non-Latin-1 characters become '?', which ends the number just as they would.
    const QByteArray bytes = text.toLatin1();
    const long long value = std::strtoll(bytes.constData(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}
