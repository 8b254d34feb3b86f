#include "report/WorkList.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/FileName.h"
#include "report/AnswerFileName.h"

std::optional<QStringList> readWorkList(const QString& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(filePath(folder), error);
    if (error) {
        return std::nullopt;
    }
    QStringList names;
    // A failing step ends the walk and leaves `error` set.
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        const QString name = foundFileName(entry->path().filename());
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
