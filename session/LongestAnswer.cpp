#include "session/LongestAnswer.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include "platform/StringTable.h"
#include "platform/SystemNames.h"
#include "session/SessionTitle.h"

namespace {

constexpr const char* kKey = "maxAnswerSeconds";

// What the C library would read a number from: anything else reads as 0, which would lift the
// limit without a word.
bool beginsWithNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?[0-9]"));
    return number.match(text).hasMatch();
}

}  // namespace

LongestAnswer readLongestAnswer(const QString& settingsFile) {
    LongestAnswer builtIn{maxAnswerSecondsFrom(loadString(StringId::MaxAnswerSeconds)), {}};
    if (settingsFile.isEmpty()) {
        return builtIn;
    }
    const QSettings settings(settingsFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return {builtIn.seconds, QStringLiteral("Файл настроек %1 не прочитан.").arg(settingsFile)};
    }
    const QVariant value = settings.value(QLatin1String(kKey));
    if (!value.isValid()) {
        return builtIn;
    }
    // A value with commas reads as a list.
    const QString text = value.typeId() == QMetaType::QStringList
                             ? value.toStringList().join(QStringLiteral(", "))
                             : value.toString();
    if (!beginsWithNumber(text)) {
        return {builtIn.seconds,
                QStringLiteral("В файле настроек %1 значение %2=%3 не число секунд.")
                    .arg(settingsFile, QLatin1String(kKey), text)};
    }
    return {maxAnswerSecondsFrom(text), {}};
}

QString systemSettingsFile() {
    if (*settingsFileName == '\0') {
        return {};
    }
    return QStandardPaths::locate(QStandardPaths::GenericConfigLocation,
                                  QString::fromUtf8(settingsFileName));
}
