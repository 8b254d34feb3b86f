#include "exam/FolderSyncNotice.h"

#include <QLabel>
#include <utility>

#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"

void tellFolderNotSynced(ExamWindow& window, ExamJournal& journal, const std::string& fileName,
                         const SystemError& error) {
    if (!error.failed()) {
        return;
    }
    const QString name = QString::fromStdString(fileName);
    journal.folderNotSynced(name);
    if (std::exchange(window.session().folderSyncTold, true)) {
        return;
    }
    auto* statusLine = window.control<QLabel>(ControlId::StatusLine);
    statusLine->setText(
        statusLine->text() + QLatin1Char(' ') +
        QStringLiteral("Папку файла %1 не удалось записать на диск (%2): при сбое питания файл "
                       "может пропасть. Запись продолжается.")
            .arg(name, QString::fromStdString(error.text)));
}
