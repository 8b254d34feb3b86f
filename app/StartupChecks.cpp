#include "app/StartupChecks.h"

#include <utility>

#include "base/MessageBox.h"
#include "base/ProcessExit.h"
#include "platform/DiskSpace.h"
#include "platform/SystemNames.h"
#include "platform/StringTable.h"

SystemStartupEnvironment::SystemStartupEnvironment(PlayerLibrary& player, std::string programFolder)
    : player_(player), programFolder_(std::move(programFolder)) {}

bool SystemStartupEnvironment::loadEncoderLibrary() {
    encoder_ = SharedLibrary::load(encoderLibraryFileName, programFolder_);
    return encoder_.isLoaded();
}

bool SystemStartupEnvironment::loadPlayerLibrary() {
    return player_.load(programFolder_);
}

bool SystemStartupEnvironment::initialisePlayer() {
    return player_.init(-1, 44100, 0, nullptr, nullptr) != 0;
}

int SystemStartupEnvironment::playerErrorCode() {
    return player_.errorGetCode();
}

bool SystemStartupEnvironment::acquireSingleInstance() {
    instanceLock_ = SingleInstanceLock::acquire(singleInstanceName);
    // Only another running copy refuses the start; a lock that cannot be made at all does not.
    return instanceLock_.error().kind != SystemError::Kind::HeldElsewhere;
}

std::uint64_t SystemStartupEnvironment::freeBytesOfWorkingVolume() {
    return totalFreeBytes(".");
}

std::uint32_t wholeMegabytes(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(bytes >> 20);
}

namespace {

const QString errorCaption = QStringLiteral("Ошибка");

[[noreturn]] void refuse(QWidget* owner, const QString& text, MessageIcon icon) {
    showMessage(owner, text, errorCaption, icon, MessageButtons::Ok);
    exitProcess(1);
}

QString missingLibraryText(const char* fileName) {
    return QStringLiteral("Поместите файл %1 в папку с программой!")
        .arg(QString::fromUtf8(fileName));
}

}  // namespace

bool runStartupChecks(StartupEnvironment& environment, QWidget* owner) {
    if (!environment.loadEncoderLibrary()) {
        refuse(owner, missingLibraryText(encoderLibraryFileName), MessageIcon::Exclamation);
    }
    if (!environment.loadPlayerLibrary()) {
        refuse(owner, missingLibraryText(playerLibraryFileName), MessageIcon::Exclamation);
    }

    const bool bassAvailable = environment.initialisePlayer();
    if (!bassAvailable) {
        const QString text = QString::asprintf(
            "Ошибка инициализации проигрывателя MP3, код ошибки - %d\n\nИспользовать встроенный "
            "%sMP3-проигрыватель ?",
            environment.playerErrorCode(), systemPlayerQualifier);
        const MessageAnswer answer =
            showMessage(owner, text,
                        QStringLiteral("Не могу инициализировать MP3-проигрыватель ") +
                            QString::fromUtf8(playerLibraryCaptionName),
                        MessageIcon::Stop, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes) {
            exitProcess(1);
        }
    }

    if (!environment.acquireSingleInstance()) {
        refuse(owner, QStringLiteral("Программу уже запущена!"), MessageIcon::Stop);
    }

    const std::uint32_t freeMegabytes = wholeMegabytes(environment.freeBytesOfWorkingVolume());
    if (freeMegabytes < minimumFreeMegabytes) {
        const QString text = QString::asprintf(
            "На текущем томе свободного всего %d мегабайт.\n\nЗапускайте программу с диска, на "
            "котором свободно не менее 500 мегабайт.\n\nВсё равно запустить программу?",
            static_cast<int>(freeMegabytes));
        const MessageAnswer answer = showMessage(owner, text, QStringLiteral("Недостаточно места"),
                                                 MessageIcon::Stop, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes) {
            exitProcess(1);
        }
    }
    return bassAvailable;
}

void showStartupNotice(QWidget* owner) {
    showMessage(owner, loadString(StringId::StartupNotice), QStringLiteral("ZelvoRecorder 2014"),
                MessageIcon::Information, MessageButtons::Ok);
}
