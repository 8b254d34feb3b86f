#include "report/StatementProgressDialog.h"

StatementProgressDialog::StatementProgressDialog(QWidget* owner,
                                                 std::chrono::milliseconds showAfter)
    : dialog_(owner) {
    dialog_.setWindowTitle(QStringLiteral("Ведомость"));
    dialog_.setLabelText(QStringLiteral("Проверка файлов ответов..."));
    dialog_.setCancelButton(nullptr);
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setMinimumDuration(static_cast<int>(showAfter.count()));
    // QProgressDialog starts its clock at the first value; the run's clock starts now.
    dialog_.setValue(0);
}

StatementProgress StatementProgressDialog::progress() {
    return [this](qsizetype filesDone, qsizetype fileCount) {
        dialog_.setMaximum(static_cast<int>(fileCount));
        dialog_.setValue(static_cast<int>(filesDone));
        wasShown_ = wasShown_ || dialog_.isVisible();
    };
}
