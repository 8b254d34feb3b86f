#include "base/FileProblem.h"

QString withFileAdvice(const QString& text, SystemError::Kind kind) {
    if (kind != SystemError::Kind::HeldElsewhere) {
        return text;
    }
    return text + QStringLiteral(
                      "\n\nФайл открыт другой программой (например, проигрывателем "
                      "или редактором). Закройте его в этой программе и повторите.");
}
