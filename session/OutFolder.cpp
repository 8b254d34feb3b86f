#include "session/OutFolder.h"

#include <filesystem>
#include <system_error>

#include "platform/File.h"
#include "platform/SystemNames.h"
#include "session/SessionCodes.h"

namespace {

const QString kPrefix = QString::fromLatin1(kOutFolder) + QLatin1Char('/');

}  // namespace

void makeOutFolder() {
    std::error_code ignored;
    // Kept even when its own folder cannot be synced: refusing the exam for it would lose more
    // than a power cut could.
    if (std::filesystem::create_directory(kOutFolder, ignored)) {
        File::syncFolderOf(kOutFolder);
    }
}

QString allFileName(const SessionCodes& codes, const QDateTime& utc) {
    const QDate date = utc.date();
    const QTime time = utc.time();
    return kPrefix +
           QString::asprintf("ALL_%s-%s-%s__%04d-%02d-%02d_%02d-%02d-%02d.mp3",
                             codes.site.toUtf8().constData(), codes.classroom.toUtf8().constData(),
                             codes.subject.toUtf8().constData(), date.year(), date.month(),
                             date.day(), time.hour(), time.minute(), time.second());
}

QString answerFileName(const SessionCodes& codes, const QString& kim) {
    return kPrefix + QString::asprintf("%s-%s-%s_%s.mp3", codes.site.toUtf8().constData(),
                                       codes.classroom.toUtf8().constData(),
                                       codes.subject.toUtf8().constData(),
                                       kim.toUtf8().constData());
}

QString reportFileName(const SessionCodes& codes, const QString& extension) {
    return QString::fromLatin1(kOutFolder) + QLatin1Char(statementFolderSeparator) +
           QStringLiteral("report_%1_%2-%3.%4")
               .arg(codes.subject, codes.site, codes.classroom, extension);
}

QString inOutFolder(const QString& name) {
    return kPrefix + name;
}

QString withoutOutFolder(const QString& path) {
    return path.startsWith(kPrefix) ? path.mid(kPrefix.size()) : path;
}
