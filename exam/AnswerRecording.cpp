#include "exam/AnswerRecording.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/FileProblem.h"
#include "base/MessageBox.h"
#include "exam/AnswerRecordingTable.h"
#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/ExamWindow.h"
#include "exam/FolderSyncNotice.h"
#include "session/KimRegister.h"
#include "session/OutFolder.h"
#include "session/SessionCodes.h"

namespace {

constexpr int kKimFieldLimit = 98;
const QString kRecordCaption = QStringLiteral("запись ответа участника экзамена");
const QString kNotSevenDigits =
    QStringLiteral("Номер КИМ должен быть 7-значным числовым значением");
const QString kEntriesDiffer = QStringLiteral("Введённые номера КИМ отличаются.\n Повторите ввод");

bool passesFormTest(const QString& kim) {
    return kim.size() == 7 &&
           std::all_of(kim.begin(), kim.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

}  // namespace

AnswerRecording::AnswerRecording(ExamWindow& window, ExamJournal& journal)
    : window_(window), journal_(journal) {}

QString AnswerRecording::field(ControlId id) const {
    return window_.control<QLineEdit>(id)->text().left(kKimFieldLimit);
}

void AnswerRecording::tell(const QString& text, bool withIcon) {
    showMessage(window_.boxOwner(), text, QCoreApplication::applicationName(),
                withIcon ? MessageIcon::Information : MessageIcon::None, MessageButtons::Ok);
}

bool AnswerRecording::confirmUnknownKim(const QString& kim) {
    const QString text = QString::asprintf(
        "Введённый номер КИМ не найден в базе,\nскорее всего он неправильный.\n\nНомер КИМ: "
        "%s\n\nПроверьте. Вы уверены, что номер введён верно?",
        kim.toUtf8().constData());
    return showMessage(window_.boxOwner(), text, QStringLiteral("Ошибочный номер КИМ"),
                       MessageIcon::Exclamation, MessageButtons::YesNo) == MessageAnswer::Yes;
}

bool AnswerRecording::confirmRecording(const QString& kim, const QString& fileName) {
    std::error_code error;
    const bool exists = std::filesystem::exists(fileName.toStdString(), error);
    if (!exists) {
        return showMessage(
                   window_.boxOwner(),
                   QString::asprintf("Начать запись?\n\n КИМ: %s", kim.toUtf8().constData()),
                   QStringLiteral("Начало записи"), MessageIcon::Question,
                   MessageButtons::YesNo) == MessageAnswer::Yes;
    }
    const QString shortName = withoutOutFolder(fileName);
    return showMessage(window_.boxOwner(),
                       QString::asprintf("Запись с указанным номером КИМ уже существует!\nИмя "
                                         "файла:\n\n%s\n\nПерезаписать?",
                                         shortName.toUtf8().constData()),
                       QStringLiteral("Файл already exists"), MessageIcon::Exclamation,
                       MessageButtons::YesNo) == MessageAnswer::Yes;
}

void AnswerRecording::showKimRow(bool repeat) {
    for (ControlId id : {ControlId::KimEntry, ControlId::KimLabel, ControlId::KimOk}) {
        window_.control(id)->setVisible(!repeat);
    }
    for (ControlId id :
         {ControlId::KimRepeatEntry, ControlId::KimRepeatLabel, ControlId::KimRepeatOk}) {
        window_.control(id)->setVisible(repeat);
    }
    // The shown row's ok is the one Enter presses.
    window_.control<QPushButton>(ControlId::KimOk)->setDefault(!repeat);
    window_.control<QPushButton>(ControlId::KimRepeatOk)->setDefault(repeat);
}

void AnswerRecording::clearKimFields() {
    window_.control<QLineEdit>(ControlId::KimEntry)->clear();
    window_.control<QLineEdit>(ControlId::KimRepeatEntry)->clear();
    window_.control(ControlId::KimEntry)->setFocus();
}

void AnswerRecording::onFirstKimOk() {
    if (!passesFormTest(field(ControlId::KimEntry))) {
        tell(kNotSevenDigits, true);
        window_.control(ControlId::KimEntry)->setFocus();
        return;
    }
    showKimRow(true);
    applyAnswerControls(AnswerStep::FirstOkPassed, window_);
    window_.control(ControlId::KimRepeatEntry)->setFocus();
}

void AnswerRecording::onSecondKimOk() {
    if (!passesFormTest(field(ControlId::KimRepeatEntry))) {
        tell(kNotSevenDigits, true);
        window_.control(ControlId::KimRepeatEntry)->setFocus();
        return;
    }
    showKimRow(false);
    const QString kim = field(ControlId::KimEntry);
    if (kim != field(ControlId::KimRepeatEntry)) {
        tell(kEntriesDiffer, true);
        clearKimFields();
    } else if (KimRegister::contains(kim) || confirmUnknownKim(kim)) {
        applyAnswerControls(AnswerStep::SecondOkAccepted, window_);
    } else {
        clearKimFields();
    }
}

void AnswerRecording::onRecordAnswer() {
    ExamSessionState& session = window_.session();
    session.stopWithoutAsking.store(false);
    if (field(ControlId::KimEntry).size() != 7) {
        tell(kNotSevenDigits, true);
        window_.control(ControlId::KimEntry)->setFocus();
        return;
    }
    if (field(ControlId::KimEntry) != field(ControlId::KimRepeatEntry)) {
        clearKimFields();
        tell(kEntriesDiffer, true);
        return;
    }
    // The sink has not closed the previous answer yet; opening a file now would race it.
    if (session.answer.state() == AnswerState::StopRequested) {
        tell(QStringLiteral("Дождитесь окончания записи и повторите"), false);
        return;
    }
    if (session.captureLost.load()) {
        showMessage(window_.boxOwner(),
                    QStringLiteral("Звуковая карта не записывает: ответ записать нельзя. "
                                   "Проверьте её подключение: когда карта вернётся, запись "
                                   "экзамена продолжится сама."),
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    const QString kim = field(ControlId::KimEntry);
    if (!KimRegister::contains(kim) && !confirmUnknownKim(kim)) {
        return;
    }
    const QString fileName = answerFileName(window_.sessionCodes(), kim);
    if (!confirmRecording(kim, fileName)) {
        return;
    }

    QWidget* indicator = window_.control(ControlId::RecordIndicator);
    indicator->show();
    if (!session.answer.open(fileName.toStdString(), kim, session.syncFolder)) {
        indicator->hide();
        showMessage(window_.boxOwner(),
                    withFileAdvice(QString::asprintf("Не удалось создать файл %s",
                                                     fileName.toUtf8().constData()),
                                   session.answer.openError().kind),
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    journal_.answerStarted(kim, fileName);
    window_.control<QLineEdit>(ControlId::AnswerElapsed)->setText(QStringLiteral("начали запись"));
    window_.control<QLabel>(ControlId::AnswerState)->setText(QStringLiteral("начали запись"));
    lastKim_ = kim;
    window_.control<QLabel>(ControlId::StatusLine)->setText(QStringLiteral("Идёт запись"));
    applyAnswerControls(AnswerStep::AnswerStarted, window_);
    tellFolderNotSynced(window_, journal_, session.answer.fileName(),
                        session.answer.folderSyncError());
}

void AnswerRecording::onStopAnswer() {
    ExamSessionState& session = window_.session();
    if (!session.stopWithoutAsking.load() &&
        showMessage(window_.boxOwner(), QStringLiteral("Завершить запись?"),
                    QStringLiteral("Завершить"), MessageIcon::Question,
                    MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    // Not Recording: the recording stopped it by itself while the question was open, and the
    // window shows that stop already.
    if (!session.answer.requestStop()) {
        return;
    }
    showStopped();
}

void AnswerRecording::showStopped() {
    applyAnswerControls(AnswerStep::AnswerStopped, window_);
    window_.control<QPushButton>(ControlId::RecordAnswer)->setText(QStringLiteral("перезаписать"));
    window_.control<QLabel>(ControlId::StatusLine)
        ->setText(QString::asprintf("Запись остановлена. Последний номер КИМ: %s",
                                    lastKim_.toUtf8().constData()));
}

void AnswerRecording::onSaveAnswer() {
    ExamSessionState& session = window_.session();
    // Saving follows the sink's close of the file, which noted any write that failed.
    const bool incomplete =
        session.answer.state() == AnswerState::Idle && !session.answer.writtenCompletely();
    applyAnswerControls(AnswerStep::Saved, window_);
    window_.control<QPushButton>(ControlId::RecordAnswer)->setText(kRecordCaption);
    window_.control<QLineEdit>(ControlId::AnswerElapsed)->clear();
    window_.control<QLabel>(ControlId::AnswerState)->clear();
    window_.control<QLineEdit>(ControlId::KimEntry)->clear();
    window_.control<QLineEdit>(ControlId::KimRepeatEntry)->clear();
    if (!incomplete) {
        journal_.answerSaved(lastKim_, QString::fromStdString(session.answer.fileName()));
        return;
    }
    // Not noted as saved: after a crash it is named among the answers to record again.
    const QString text = QString::asprintf(
        "Ответ с номером КИМ %s не сохранён: файл %s записан не полностью. Освободите место "
        "на диске и запишите ответ заново.",
        lastKim_.toUtf8().constData(), session.answer.fileName().c_str());
    window_.control<QLabel>(ControlId::StatusLine)->setText(text);
    showMessage(window_.boxOwner(), text, QStringLiteral("Ошибка"), MessageIcon::Stop,
                MessageButtons::Ok);
}
