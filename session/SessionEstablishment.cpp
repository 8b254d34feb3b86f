#include "session/SessionEstablishment.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "audio/CaptureDeviceRegistry.h"
#include "base/MessageBox.h"
#include "base/ProcessExit.h"
#include "platform/File.h"
#include "platform/FolderEntries.h"
#include "session/OutFolder.h"

SessionEstablishment::SessionEstablishment(QWidget* owner, EstablishmentServices services)
    : owner_(owner), services_(std::move(services)) {}

EstablishedSession SessionEstablishment::run() {
    buildRegister();
    checkOutFolder();

    EstablishedSession session;
    session.codes = services_.runSetup(owner_);
    services_.afterSetup();
    session.maxAnswerSeconds = readMaxAnswerSeconds();
    session.soundCards = soundCardNames();
    return session;
}

void SessionEstablishment::buildRegister() {
    if (KimRegister::build(services_.allocateRegister)) {
        return;
    }
    showMessage(owner_,
                QStringLiteral("Не хватает памяти для таблицы допустимых номеров КИМ (около 10 "
                               "МБ).\n\nЗакройте другие программы и запустите программу снова."),
                QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
    exitProcess(1);
}

void SessionEstablishment::checkOutFolder() {
    // Usually there already; a failure shows in the search below.
    makeOutFolder();

    const std::optional<FolderEntries> entries = readFolderEntries(kOutFolder);
    if (!entries) {
        showMessage(owner_, QStringLiteral("Нет доступа к папке out"), QStringLiteral("Ошибка"),
                    MessageIcon::Stop, MessageButtons::Ok);
        exitProcess(1);
    }
    // A folder that can be read but not written would otherwise show only when the exam starts.
    if (!folderIsWritable(kOutFolder)) {
        showMessage(owner_, QStringLiteral("Нет доступа на запись в папку out"),
                    QStringLiteral("Ошибка"), MessageIcon::Stop, MessageButtons::Ok);
        exitProcess(1);
    }
    int count = 0;
    for (const std::filesystem::path& name : entries->names) {
        if (!name.native().starts_with(std::filesystem::path::value_type('.'))) {
            ++count;
        }
    }
    if (count > 0) {
        const QString text = QString::asprintf(
            "Папка 'out' содержит файлы - %d шт. \n\n Перед проведением экзамена содержимое "
            "папки 'out' должно быть удалено.\n\n Всё равно запустить программу?",
            count);
        if (showMessage(owner_, text, QStringLiteral("Папка out"), MessageIcon::Exclamation,
                        MessageButtons::YesNo) != MessageAnswer::Yes) {
            exitProcess(1);
        }
    }
}

std::int32_t SessionEstablishment::readMaxAnswerSeconds() {
    const LongestAnswer longest = services_.longestAnswer();
    if (!longest.problem.isEmpty()) {
        const QString limit =
            longest.seconds > 0
                ? QStringLiteral("Максимальное время записи ответа - %1 сек.").arg(longest.seconds)
                : QStringLiteral("Ответы записываются без ограничения времени.");
        showMessage(owner_, longest.problem + QStringLiteral("\n\n") + limit,
                    QStringLiteral("Ошибка"), MessageIcon::Exclamation, MessageButtons::Ok);
    }
    return longest.seconds;
}

std::vector<QString> SessionEstablishment::soundCardNames() {
    std::vector<QString> names;
    for (const CaptureDevice* device : services_.captureDevices->devices()) {
        names.push_back(QString::fromStdString(device->name()));
    }
    return names;
}
