#include "report/StatementCommand.h"

#include "base/MessageBox.h"
#include "platform/SystemNames.h"
#include "report/StatementViewer.h"
#include "report/TransferStatement.h"

void showTransferStatement(QWidget* window, const SessionCodes& codes,
                           std::chrono::milliseconds showProgressAfter) {
    StatementResult result;
    {
        StatementProgressDialog progress(window, showProgressAfter);
        result = writeTransferStatement(codes, progress.progress());
    }
    if (result.status != StatementStatus::Written) {
        showMessage(window, statementFailureMessage(result.status), QStringLiteral("Ошибка"),
                    MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    const QString question = QString::asprintf(
        "Ведомость передачи материалов из аудитории руководителю ППЭ сформирована. \n\n Открыть "
        "файл  out%creport_%s_%s-%s.htm ?",
        statementFolderSeparator, codes.subject.toUtf8().constData(),
        codes.site.toUtf8().constData(), codes.classroom.toUtf8().constData());
    if (showMessage(window, question, QStringLiteral("Ведомость сформирована"),
                    MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    if (!openStatementInViewer(result.statementPath)) {
        showMessage(window,
                    QString::asprintf("Не удалось запустить программу просмотра %s.\n\n"
                                      "Ведомость записана в файл ",
                                      statementViewerName) +
                        result.statementPath,
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
    }
}
