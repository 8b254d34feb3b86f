#include "exam/ExamClock.h"

LocalClock systemClock() {
    return [] { return QDateTime::currentDateTime(); };
}

QString elapsedText(std::int64_t seconds) {
    const std::int64_t shown = seconds < 0 ? 0 : seconds;
    return QString::asprintf("%02d:%02d.%02d", static_cast<int>(shown / 3600 % 24),
                             static_cast<int>(shown / 60 % 60), static_cast<int>(shown % 60));
}
