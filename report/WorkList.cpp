#include "report/WorkList.h"

#include <QFile>
#include <algorithm>
#include <filesystem>

#include "platform/FileName.h"
#include "platform/FolderEntries.h"
#include "report/AnswerFileName.h"

std::optional<QStringList> readWorkList(const QString& folder) {
    const std::optional<FolderEntries> entries = readFolderEntries(filePath(folder));
    if (!entries || !entries->complete) {
        return std::nullopt;
    }
    QStringList names;
    for (const std::filesystem::path& entry : entries->names) {
        const QString name = foundFileName(entry);
        if (answer_file_name::matches(name)) {
            names.append(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
