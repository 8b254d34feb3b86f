#include <gmock/gmock.h>

#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "RecorderTest.h"
#include "app/StartupChecks.h"
#include "base/ProcessExit.h"
#include "platform/DiskSpace.h"
#include "platform/FileName.h"
#include "platform/SingleInstanceLock.h"
#include "platform/StringTable.h"
#include "platform/SystemNames.h"
#include "session/WorkingFolder.h"

namespace {

using ::testing::ElementsAre;

// A machine on which every start-up test passes unless a test says otherwise.
class ScriptedEnvironment : public StartupEnvironment {
public:
    bool encoderPresent = true;
    bool playerPresent = true;
    bool playerStarts = true;
    int playerError = 0;
    bool firstInstance = true;
    std::uint64_t freeBytes = std::uint64_t{64} << 30;
    std::vector<std::string> steps;

    bool loadEncoderLibrary() override { return record("encoder", encoderPresent); }
    bool loadPlayerLibrary() override { return record("player", playerPresent); }
    bool initialisePlayer() override { return record("init", playerStarts); }
    int playerErrorCode() override { return playerError; }
    bool acquireSingleInstance() override { return record("instance", firstInstance); }
    std::uint64_t freeBytesOfWorkingVolume() override {
        steps.push_back("space");
        return freeBytes;
    }

private:
    bool record(const char* step, bool result) {
        steps.push_back(step);
        return result;
    }
};

class StartupChecksTest : public RecorderTest {
protected:
    ScriptedEnvironment machine;

    int refusalStatus() {
        return exitStatusOf([&] { runStartupChecks(machine, nullptr); });
    }
    void expectOnlyBox(const QString& text, const QString& caption, MessageIcon icon,
                       MessageButtons buttons) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].icon, icon);
        EXPECT_EQ(boxes[0].buttons, buttons);
    }
};

TEST_F(StartupChecksTest, PassesSilentlyOnAHealthyMachineInTheFixedOrder) {
    EXPECT_TRUE(runStartupChecks(machine, nullptr));
    EXPECT_TRUE(boxes.empty());
    EXPECT_THAT(machine.steps, ElementsAre("encoder", "player", "init", "instance", "space"));
}

TEST_F(StartupChecksTest, MissingLibrariesAreRefusedNamingTheFileToPutBesideTheProgram) {
    machine.encoderPresent = false;
    EXPECT_EQ(refusalStatus(), 1);
    expectOnlyBox(QString("Поместите файл %1 в папку с программой!").arg(encoderLibraryFileName),
                  "Ошибка", MessageIcon::Exclamation, MessageButtons::Ok);
    EXPECT_THAT(machine.steps, ElementsAre("encoder"));

    boxes.clear();
    machine = ScriptedEnvironment{};
    machine.playerPresent = false;
    EXPECT_EQ(refusalStatus(), 1);
    expectOnlyBox(QString("Поместите файл %1 в папку с программой!").arg(playerLibraryFileName),
                  "Ошибка", MessageIcon::Exclamation, MessageButtons::Ok);
    EXPECT_THAT(machine.steps, ElementsAre("encoder", "player"));
}

TEST_F(StartupChecksTest, PlayerThatCannotStartAsksAndNoEndsTheProgram) {
    machine.playerStarts = false;
    machine.playerError = 23;
    answerNext(MessageAnswer::No);
    EXPECT_EQ(refusalStatus(), 1);
    // On Windows the system's player is named: "встроенный в Windows MP3-проигрыватель".
    expectOnlyBox(QString("Ошибка инициализации проигрывателя MP3, код ошибки - 23\n\nИспользовать "
                          "встроенный %1MP3-проигрыватель ?")
                      .arg(systemPlayerQualifier),
                  QString("Не могу инициализировать MP3-проигрыватель ") + playerLibraryCaptionName,
                  MessageIcon::Stop, MessageButtons::YesNo);
}

TEST_F(StartupChecksTest, PlayerThatCannotStartAnsweredYesGoesOnWithoutIt) {
    machine.playerStarts = false;
    machine.playerError = -1;
    answerNext(MessageAnswer::Yes);
    EXPECT_FALSE(runStartupChecks(machine, nullptr));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("код ошибки - -1\n"));
    EXPECT_THAT(machine.steps, ElementsAre("encoder", "player", "init", "instance", "space"));
}

TEST_F(StartupChecksTest, SecondCopyIsRefusedAfterTheLibraryAndPlayerSteps) {
    machine.firstInstance = false;
    EXPECT_EQ(refusalStatus(), 1);
    expectOnlyBox("Программу уже запущена!", "Ошибка", MessageIcon::Stop, MessageButtons::Ok);
    EXPECT_THAT(machine.steps, ElementsAre("encoder", "player", "init", "instance"));
}

TEST_F(StartupChecksTest, FreeSpaceBoundaryIsFiveHundredWholeMegabytes) {
    machine.freeBytes = 524'288'000;
    EXPECT_TRUE(runStartupChecks(machine, nullptr));
    EXPECT_TRUE(boxes.empty());

    machine.freeBytes = 524'287'999;
    answerNext(MessageAnswer::No);
    EXPECT_EQ(refusalStatus(), 1);
    expectOnlyBox(
        "На текущем томе свободного всего 499 мегабайт.\n\nЗапускайте программу с диска, на "
        "котором свободно не менее 500 мегабайт.\n\nВсё равно запустить программу?",
        "Недостаточно места", MessageIcon::Stop, MessageButtons::YesNo);
}

TEST_F(StartupChecksTest, FailedFreeSpaceQueryAsksWithZeroAndYesGoesOn) {
    machine.freeBytes = 0;
    answerNext(MessageAnswer::Yes);
    EXPECT_TRUE(runStartupChecks(machine, nullptr));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("На текущем томе свободного всего 0 мегабайт."));
}

TEST_F(StartupChecksTest, RefusalsReallyEndTheProcessWithStatusOne) {
    setExitHandler({});
    EXPECT_EXIT(
        {
            machine.firstInstance = false;
            runStartupChecks(machine, nullptr);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            machine.freeBytes = 1;
            answerNext(MessageAnswer::No);
            runStartupChecks(machine, nullptr);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(StartupChecksTest, NoticeIsShownWithTheDeliveredText) {
    showStartupNotice(nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "ZelvoRecorder 2014");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
    const QString& notice = boxes[0].text;
    EXPECT_TRUE(
        notice.startsWith("Внимание! \n\n Программа записи ответов участников ZELVO-9 "
                          "устной части экзамена по иностранным языкам. \n\n "));
    EXPECT_TRUE(notice.contains("\n\n 28 апреля:\n+ Исправлена ошибка"));
    EXPECT_TRUE(notice.endsWith("\"номер работы\" и убрана проверка ввода КИМ"));
    // The list item "список" starts with a Latin c in the delivered text.
    const qsizetype item = notice.indexOf(QStringLiteral("писок ППЭ из ppe.txt"));
    ASSERT_GT(item, 0);
    EXPECT_EQ(notice.at(item - 1), QChar(u'c'));
    // Beside it in the string table (a resource on Windows): the longest answer, no limit.
    EXPECT_TRUE(loadString(StringId::MaxAnswerSeconds).startsWith("0 - максимальное время"));
}

TEST(WholeMegabytes, DropsTheFraction) {
    EXPECT_EQ(wholeMegabytes(524'288'000), 500u);
    EXPECT_EQ(wholeMegabytes(524'287'999), 499u);
    EXPECT_EQ(wholeMegabytes(1'048'575), 0u);
}

TEST(DiskSpace, CountsAtLeastWhatTheUserMayUseAndZeroWhenUnknown) {
    const QStorageInfo volume(QDir::tempPath());
    EXPECT_GE(totalFreeBytes(QDir::tempPath().toStdString()),
              static_cast<std::uint64_t>(volume.bytesAvailable()));
    EXPECT_EQ(totalFreeBytes("/no/such/folder/anywhere"), 0u);
}

TEST(WorkingFolderTest, TheInstalledOneOnlyInPlaceOfTheProgramsOwnOrAnUnwritableOne) {
    QTemporaryDir program, elsewhere, installed;
    const std::filesystem::path own = filePath(program.path()),
                                started = filePath(elsewhere.path()),
                                made = filePath(installed.path());
    EXPECT_EQ(chooseWorkingFolder(started, own, made, true), started);
    EXPECT_EQ(chooseWorkingFolder(started, own, made, false), made);
    EXPECT_EQ(chooseWorkingFolder(own, own, made, true), made);
    EXPECT_EQ(chooseWorkingFolder(own, own, std::nullopt, false), own);
}

TEST(SingleInstanceLockTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    QTemporaryDir folder;
    const std::string directory = folder.path().toStdString();
    auto first = SingleInstanceLock::acquire("ZELVO9_recorder", directory);
    ASSERT_TRUE(first.isHeld());
    const auto second = SingleInstanceLock::acquire("ZELVO9_recorder", directory);
    EXPECT_FALSE(second.isHeld());
    EXPECT_EQ(second.error().kind, SystemError::Kind::HeldElsewhere);
    EXPECT_TRUE(SingleInstanceLock::acquire("other_name", directory).isHeld());
    first = SingleInstanceLock{};
    EXPECT_TRUE(SingleInstanceLock::acquire("ZELVO9_recorder", directory).isHeld());
}

TEST(SingleInstanceLockTest, IsReleasedWhenTheHolderIsKilled) {
#ifdef _WIN32
    GTEST_SKIP() << "the lock is a named mutex on Windows, not a file flock(1) can hold";
#endif
    QTemporaryDir folder;
    const QString lockFile = folder.filePath("ZELVO9_recorder.lock");
    // Another process holds the same lock file with flock(1), then dies by SIGKILL.
    QProcess holder;
    holder.start("flock", {"--nonblock", "--no-fork", lockFile, "sleep", "600"});
    ASSERT_TRUE(holder.waitForStarted());
    bool refused = false;
    for (int attempt = 0; attempt < 500 && !refused; ++attempt) {
        refused =
            !SingleInstanceLock::acquire("ZELVO9_recorder", folder.path().toStdString()).isHeld();
        if (!refused) {
            QThread::msleep(10);
        }
    }
    ASSERT_TRUE(refused) << "the other process never took the lock";
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished());
    EXPECT_TRUE(
        SingleInstanceLock::acquire("ZELVO9_recorder", folder.path().toStdString()).isHeld());
}

TEST(SingleInstanceLockTest, TellsAnotherHolderFromAFolderWithoutLocks) {
#ifdef _WIN32
    GTEST_SKIP() << "the lock is a named mutex on Windows, in no folder";
#endif
    EXPECT_EQ(SingleInstanceLock::acquire("ZELVO9_recorder", "/no/such/folder").error().kind,
              SystemError::Kind::Other);
}

}  // namespace

namespace {

std::string builtLibraryFolder() {
    const QByteArray folder = qgetenv("EXAM_RECORDER_BIN_DIR");
    return folder.isEmpty() ? programFolder() : folder.toStdString();
}

TEST(SystemStartupEnvironmentTest, LoadsBothLibrariesFromTheProgramFolder) {
    PlayerLibrary player;
    SystemStartupEnvironment machine(player, builtLibraryFolder());
    EXPECT_TRUE(machine.loadEncoderLibrary());
    EXPECT_TRUE(machine.loadPlayerLibrary());
    EXPECT_NE(player.streamFree, nullptr);
}

TEST(SystemStartupEnvironmentTest, FolderWithoutTheLibrariesFailsBothSteps) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows finds a library by its bare name in the program's own folder";
#endif
    // In a process of its own: by its bare name, a library an earlier test loaded is found.
    EXPECT_EXIT(
        {
            QTemporaryDir emptyFolder;
            PlayerLibrary player;
            SystemStartupEnvironment machine(player, emptyFolder.path().toStdString());
            const bool encoder = machine.loadEncoderLibrary();
            const bool playerLoaded = machine.loadPlayerLibrary() || player.isLoaded();
            std::_Exit((encoder ? 1 : 0) + (playerLoaded ? 2 : 0));
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SystemStartupEnvironmentTest, PlayerLibraryMissingACallIsNotUsed) {
    // A real library under the player's name, but without the player's calls.
    QTemporaryDir folder;
    const QString encoder =
        QString::fromStdString(builtLibraryFolder()) + "/" + encoderLibraryFileName;
    ASSERT_TRUE(QFile::copy(encoder, folder.filePath(playerLibraryFileName)));
    PlayerLibrary player;
    EXPECT_FALSE(player.load(folder.path().toStdString()));
    EXPECT_FALSE(player.isLoaded());
    EXPECT_STREQ(player.missingCall(), "BASS_Init");  // the first of the five, all missing
    EXPECT_EQ(player.init, nullptr);
}

}  // namespace
