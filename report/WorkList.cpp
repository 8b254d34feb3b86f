#include "report/WorkList.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "report/AnswerFileName.h"

std::optional<QStringList> readWorkList(const QString& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(fs::path(QFile::encodeName(folder).toStdString()), error);
    if (error) {
        return std::nullopt;
    }
    QStringList names;
    // A failing step ends the walk and leaves `error` set.
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        // Answer names are ASCII; reading the bytes as Latin-1 can never make other bytes pass.
        const std::string bytes = entry->path().filename().native();
        const QString name = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
        if (answer_file_name::matches(name)) {
            names.append(name);
        }
    }
    if (error) {
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}
