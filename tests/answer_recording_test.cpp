#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "WindowFixture.h"
#include "exam/ExamJournal.h"
#include "exam/Playback.h"
#include "support/Mp3Inspector.h"

namespace {

using exam_test::contentsOf;
using exam_test::kBlockBytes;
using exam_test::tone;
namespace fs = std::filesystem;

constexpr const char* kAnswerFile = "out/0123-001-eng_0000017.mp3";
const QString kNotSevenDigits = "Номер КИМ должен быть 7-значным числовым значением";
const QString kUnknownKim =
    "Введённый номер КИМ не найден в базе,\nскорее всего он неправильный.\n\nНомер КИМ: "
    "0000000\n\nПроверьте. Вы уверены, что номер введён верно?";

class AnswerWindowTest : public ScriptedCardTest {
public:
    void SetUp() override {
        ScriptedCardTest::SetUp();
        // The playback box stays open for the test's script, which plays the timer's ticks.
        const MessageHandler answers = setMessageHandler({});
        setMessageHandler([this, answers](const MessageRequest& request) {
            const MessageAnswer answer = answers(request);
            if (request.caption == "Buf playback") {
                OpenBox box(request.caption);
                box.captionChanged = [this](const QString& caption) {
                    playbackTitles.push_back(caption);
                };
                whilePlaybackBoxOpen(box);
            }
            return answer;
        });
    }

    void startExam() { yes(ControlId::StartExam); }
    void recordAnswer() { yes(ControlId::RecordAnswer); }
    void stopAnswer() { yes(ControlId::StopAnswer); }
    // An answer of 0000017 of `blocks` blocks, the last one after its stop, which closes it.
    void recordClosedAnswer(int blocks) {
        enterKim("0000017");
        recordAnswer();
        for (int i = 1; i < blocks; ++i) {
            capture(pcm);
        }
        stopAnswer();
        capture(pcm);
    }
    // The enabled state of the answer's controls, and whether the indicator shows.
    std::map<ControlId, bool> answerStates() {
        std::map<ControlId, bool> states =
            enabledStates({ControlId::RecordAnswer, ControlId::StopAnswer, ControlId::KimEntry,
                           ControlId::KimRepeatEntry, ControlId::KimOk, ControlId::KimRepeatOk,
                           ControlId::Listen, ControlId::SaveAnswer, ControlId::EndExam});
        states[ControlId::RecordIndicator] = shown(ControlId::RecordIndicator);
        return states;
    }
    const CurrentAnswer& answer() { return dialog->session().answer; }

    std::function<void(OpenBox&)> whilePlaybackBoxOpen = [](OpenBox&) {};
    std::vector<QString> playbackTitles;
};

enum class Expect { On, Off, Unchanged };
using enum Expect;

struct AnswerColumn {
    const char* step;
    std::function<void(AnswerWindowTest&)> run;
    // record, stop, KIM, repeated KIM, first ok, second ok, listen, save, end exam, indicator
    std::vector<Expect> expected;
};

const std::vector<ControlId> kRows = {ControlId::RecordAnswer, ControlId::StopAnswer,
                                      ControlId::KimEntry,     ControlId::KimRepeatEntry,
                                      ControlId::KimOk,        ControlId::KimRepeatOk,
                                      ControlId::Listen,       ControlId::SaveAnswer,
                                      ControlId::EndExam,      ControlId::RecordIndicator};

// The answer's table, step by step through one participant and a second recording.
const std::vector<AnswerColumn> kAnswerTable = {
    {"first ok passed",
     [](AnswerWindowTest& t) {
         t.type(ControlId::KimEntry, "0000017");
         t.click(ControlId::KimOk);
     },
     {Off, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged,
      Unchanged}},
    {"second ok accepted",
     [](AnswerWindowTest& t) {
         t.type(ControlId::KimRepeatEntry, "0000017");
         t.click(ControlId::KimRepeatOk);
     },
     {On, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged,
      Unchanged}},
    {"answer started",
     [](AnswerWindowTest& t) { t.recordAnswer(); },
     {Off, On, Off, Off, Off, Off, Off, Off, Off, On}},
    {"answer stopped",
     [](AnswerWindowTest& t) { t.stopAnswer(); },
     {On, Off, Off, Off, Off, Off, Off, Off, Off, Off}},
    {"file closed by the sink",
     [](AnswerWindowTest& t) { t.block(6); },
     {Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, On, Unchanged, Unchanged,
      Unchanged}},
    {"playback ended",
     [](AnswerWindowTest& t) { t.click(ControlId::Listen); },
     {Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, On, Unchanged,
      Unchanged}},
    {"recorded again",
     [](AnswerWindowTest& t) { t.recordAnswer(); },
     {Off, On, Off, Off, Off, Off, Off, Off, Off, On}},
    {"stopped again",
     [](AnswerWindowTest& t) { t.stopAnswer(); },
     {On, Off, Off, Off, Off, Off, Off, Off, Off, Off}},
    {"closed again",
     [](AnswerWindowTest& t) { t.block(8); },
     {Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, On, Unchanged, Unchanged,
      Unchanged}},
    {"listened again",
     [](AnswerWindowTest& t) { t.click(ControlId::Listen); },
     {Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, Unchanged, On, Unchanged,
      Unchanged}},
    {"saved",
     [](AnswerWindowTest& t) { t.click(ControlId::SaveAnswer); },
     {On, Off, On, On, On, On, Off, Off, On, Unchanged}},
};

TEST_F(AnswerWindowTest, EveryStepSetsTheControlsItsColumnOfTheTableSays) {
    window();
    startExam();
    for (const AnswerColumn& column : kAnswerTable) {
        SCOPED_TRACE(column.step);
        const auto before = answerStates();
        column.run(*this);
        const auto after = answerStates();
        for (std::size_t row = 0; row < kRows.size(); ++row) {
            SCOPED_TRACE(static_cast<int>(kRows[row]));
            const Expect expected = column.expected[row];
            EXPECT_EQ(after.at(kRows[row]),
                      expected == Unchanged ? before.at(kRows[row]) : expected == On);
        }
    }
}

TEST_F(AnswerWindowTest, KimEntriesAreCheckedAndEachMessageHasItsCaptionAndIcon) {
    window();
    startExam();
    const QString app = QCoreApplication::applicationName();
    const auto expectLastBox = [&](const Box& box) {
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back(), box);
        EXPECT_EQ(boxes.back().owner, &*dialog);
    };

    for (const char* wrong : {"123456", "12345678"}) {
        type(ControlId::KimEntry, wrong);
        click(ControlId::KimOk);
        expectLastBox({kNotSevenDigits, app});
        EXPECT_TRUE(shown(ControlId::KimOk));
        EXPECT_FALSE(shown(ControlId::KimRepeatOk));
    }

    type(ControlId::KimEntry, "1234567");
    click(ControlId::KimOk);
    EXPECT_TRUE(shown(ControlId::KimRepeatEntry));
    EXPECT_FALSE(shown(ControlId::KimEntry));
    // Enter presses the shown row's ok.
    EXPECT_TRUE(dialog->control<QPushButton>(ControlId::KimRepeatOk)->isDefault());
    EXPECT_FALSE(dialog->control<QPushButton>(ControlId::KimOk)->isDefault());
    type(ControlId::KimRepeatEntry, "1234568");
    click(ControlId::KimRepeatOk);
    expectLastBox({"Введённые номера КИМ отличаются.\n Повторите ввод", app});
    EXPECT_EQ(text(ControlId::KimEntry), "");
    EXPECT_EQ(text(ControlId::KimRepeatEntry), "");
    EXPECT_TRUE(shown(ControlId::KimOk));
    EXPECT_TRUE(dialog->control<QPushButton>(ControlId::KimOk)->isDefault());
    EXPECT_FALSE(dialog->control<QPushButton>(ControlId::KimRepeatOk)->isDefault());

    answerNext(MessageAnswer::No);
    enterKim("0000000", "0000000");
    expectLastBox(
        {kUnknownKim, "Ошибочный номер КИМ", MessageIcon::Exclamation, MessageButtons::YesNo});
    EXPECT_EQ(text(ControlId::KimEntry), "");
    EXPECT_FALSE(dialog->control(ControlId::RecordAnswer)->isEnabled());
    answerNext(MessageAnswer::Yes);
    enterKim("0000000", "0000000");
    EXPECT_TRUE(dialog->control(ControlId::RecordAnswer)->isEnabled());

    const std::size_t asked = boxes.size();
    enterKim("0000017", "0000017");
    EXPECT_EQ(boxes.size(), asked);
    EXPECT_TRUE(dialog->control(ControlId::RecordAnswer)->isEnabled());

    answerNext(MessageAnswer::No);
    click(ControlId::RecordAnswer);
    expectLastBox({"Начать запись?\n\n КИМ: 0000017", "Начало записи", MessageIcon::Question,
                   MessageButtons::YesNo});
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_FALSE(fs::exists(kAnswerFile));

    recordAnswer();
    EXPECT_EQ(text(ControlId::StatusLine), "Идёт запись");
    EXPECT_EQ(text(ControlId::AnswerState), "начали запись");
    EXPECT_EQ(text(ControlId::AnswerElapsed), "начали запись");
    answerNext(MessageAnswer::No);
    click(ControlId::StopAnswer);
    expectLastBox({"Завершить запись?", "Завершить", MessageIcon::Question, MessageButtons::YesNo});
    EXPECT_EQ(answer().state(), AnswerState::Recording);
    stopAnswer();
    EXPECT_EQ(text(ControlId::StatusLine), "Запись остановлена. Последний номер КИМ: 0000017");
    EXPECT_EQ(text(ControlId::RecordAnswer), "перезаписать");

    // Less than a block after the stop the sink still holds the file.
    click(ControlId::RecordAnswer);
    expectLastBox({"Дождитесь окончания записи и повторите", app, MessageIcon::None});
    block(4);
    answerNext(MessageAnswer::No);
    click(ControlId::RecordAnswer);
    expectLastBox(
        {"Запись с указанным номером КИМ уже существует!\nИмя "
         "файла:\n\n0123-001-eng_0000017.mp3\n\nПерезаписать?",
         "Файл already exists", MessageIcon::Exclamation, MessageButtons::YesNo});

    click(ControlId::Listen);
    click(ControlId::SaveAnswer);
    EXPECT_EQ(text(ControlId::RecordAnswer), "запись ответа участника экзамена");
    EXPECT_EQ(text(ControlId::AnswerState), "");
    click(ControlId::RecordAnswer);
    expectLastBox({kNotSevenDigits, app});
}

TEST_F(AnswerWindowTest, AnAnswerFileThatCannotBeMadeIsToldAndNothingIsRecorded) {
    window();
    startExam();
    enterKim("0000017", "0000017");
    const auto before = answerStates();
    const QString status = text(ControlId::StatusLine);
    // The file layer's own test goes through every kind of name; a folder stands for them here.
    ASSERT_TRUE(fs::create_directory(kAnswerFile));
    recordAnswer();  // the overwrite question
    EXPECT_EQ(boxes.back(), (Box{QString("Не удалось создать файл ") + kAnswerFile, "Ошибка",
                                 MessageIcon::Stop}));
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_EQ(answerStates(), before);
    EXPECT_EQ(text(ControlId::StatusLine), status);
    block(2);
    EXPECT_TRUE(fs::is_empty(kAnswerFile));
}

// A folder that cannot be synced refuses neither the exam nor an answer: told once, journaled
// for each file.
TEST_F(AnswerWindowTest, AFolderThatCannotBeSyncedIsToldOnceAndJournaledAndRecordingGoesOn) {
    window();
    dialog->session().syncFolder = [](const fs::path&) {
        return systemError(SystemError::Kind::Other, 5);
    };
    startExam();
    ASSERT_TRUE(dialog->session().examRunning);
    EXPECT_TRUE(text(ControlId::StatusLine).startsWith("Начали экзамен. Папку файла out/ALL_"));
    enterKim("0000017");
    recordAnswer();
    EXPECT_EQ(text(ControlId::StatusLine), "Идёт запись");
    stopAnswer();
    capture(pcm);
    EXPECT_GT(fs::file_size(kAnswerFile), 0u);
    EXPECT_EQ(boxes.size(), 3u) << "only the start, record and stop questions";
    std::ifstream journal(examJournalPath);
    const std::string lines{std::istreambuf_iterator<char>(journal), {}};
    EXPECT_NE(lines.find("\tпапка не записана на диск\tALL_"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\tпапка не записана на диск\t0123-001-eng_0000017.mp3\n"),
              std::string::npos)
        << lines;
}

TEST_F(AnswerWindowTest, TheMaximumLengthStopsTheAnswerWithoutAQuestionEvenWithOneOpen) {
    window(60);
    startExam();
    enterKim("0000017", "0000017");
    recordAnswer();
    for (int seconds = 2; seconds <= 60; seconds += 2) {
        block(seconds);
    }
    EXPECT_EQ(answer().state(), AnswerState::Recording);

    // The organiser's stop question is still open when the block past the maximum comes.
    std::uintmax_t closedSize = 0;
    setMessageHandler([&, answers = setMessageHandler({})](const MessageRequest& request) {
        if (request.text == "Завершить запись?") {
            block(62);
            closedSize = fs::file_size(kAnswerFile);
        }
        return answers(request);
    });
    stopAnswer();

    EXPECT_EQ(answer().elapsed(), 62);
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_EQ(text(ControlId::StatusLine), "Запись остановлена. Последний номер КИМ: 0000017");
    EXPECT_EQ(text(ControlId::RecordAnswer), "перезаписать");
    EXPECT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
    EXPECT_FALSE(dialog->control(ControlId::StopAnswer)->isEnabled());
    EXPECT_FALSE(shown(ControlId::RecordIndicator));
    block(64);
    EXPECT_EQ(fs::file_size(kAnswerFile), closedSize);
    const std::vector<unsigned char> all = contentsOf(dialog->session().allFile.name());
    const std::vector<unsigned char> answer = contentsOf(kAnswerFile);
    ASSERT_GT(answer.size(), 0u);
    EXPECT_NE(std::search(all.begin(), all.end(), answer.begin(), answer.end()), all.end());
}

// Times are the sound recorded: a clock set an hour on, then two back, mid-answer moves neither
// the times shown nor the limit.
TEST_F(AnswerWindowTest, AClockSetOnOrBackMidAnswerMovesNeitherTheTimesNorTheLimit) {
    window(9);
    startExam();
    enterKim("0000017");
    recordAnswer();
    const std::int64_t clockAt[] = {2, 3'604, -3'594, -3'592};
    for (int i = 0; i < 4; ++i) {
        block(clockAt[i]);
        const QString shown = QString::asprintf("00:00.%02d", 2 * (i + 1));
        EXPECT_EQ(text(ControlId::TotalElapsed), shown);
        EXPECT_EQ(text(ControlId::AnswerElapsed), shown);
        EXPECT_EQ(answer().state(), AnswerState::Recording) << "block " << i;
    }
    block(-3'590);
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_EQ(answer().elapsed(), 10);
    EXPECT_EQ(text(ControlId::StatusLine), "Запись остановлена. Последний номер КИМ: 0000017");
}

TEST_F(AnswerWindowTest, ALostSoundCardClosesTheOpenAnswerSoTheExamCanEnd) {
    window();
    startExam();
    enterKim("0000017", "0000017");
    recordAnswer();
    block(2);
    const auto recorded = fs::file_size(kAnswerFile);
    ASSERT_GT(recorded, 0u);

    soundCards.report(WaveMessage::Kind::DeviceLost);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog->control(ControlId::Listen)->isEnabled(); }, 10'000));
    EXPECT_EQ(answer().state(), AnswerState::Idle);
    EXPECT_EQ(fs::file_size(kAnswerFile), recorded);
    EXPECT_FALSE(shown(ControlId::RecordIndicator));

    // Nothing would ever close a new answer: refused.
    click(ControlId::RecordAnswer);
    EXPECT_EQ(boxes.back().caption, "Ошибка");
    EXPECT_EQ(answer().state(), AnswerState::Idle);

    click(ControlId::Listen);
    click(ControlId::SaveAnswer);
    ASSERT_TRUE(dialog->control(ControlId::EndExam)->isEnabled());
    answerNext(MessageAnswer::Yes);
    click(ControlId::EndExam);
    EXPECT_FALSE(dialog->session().allFile.isOpen());
    EXPECT_TRUE(dialog->control(ControlId::StartExam)->isEnabled());
}

TEST_F(AnswerWindowTest, ClosingTheProgramMidAnswerKeepsTheSoundInHandInBothFiles) {
    window();
    startExam();
    enterKim("0000017", "0000017");
    recordAnswer();
    block(2);
    // Half a block is still with the card when the organiser closes the program.
    ASSERT_EQ(soundCards.record(std::span<const std::byte>(pcm).first(pcm.size() / 2)), 0u);

    answerNext(MessageAnswer::Yes);
    EXPECT_EQ(exitStatusOf([&] { dialog->askToClose(); }), 1);
    EXPECT_FALSE(registry.findByName("Microphone").isOpen());
    EXPECT_FALSE(dialog->session().allFile.isOpen());
    EXPECT_EQ(answer().state(), AnswerState::Idle);

    constexpr double kCapturedFrames = kBlockBytes / 4 * 3 / 2;
    constexpr double kEncoderSlack = 1152 + 576 + 529;
    std::vector<fs::path> files{kAnswerFile};
    for (const auto& entry : fs::directory_iterator("out")) {
        if (entry.path().filename().string().starts_with("ALL_")) {
            files.push_back(entry.path());
        }
    }
    ASSERT_EQ(files.size(), 2u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file);
        const mp3::Stream stream = mp3::inspectFile(file);
        EXPECT_EQ(stream.error, "");
        EXPECT_NEAR(static_cast<double>(stream.decodedSamples), kCapturedFrames, kEncoderSlack);
    }
}

TEST_F(AnswerWindowTest, ThePlaybackBoxCountsTheAnswerDownAndClosesAtTheEnd) {
    window();
    startExam();
    recordClosedAnswer(31);  // 62 s
    int ticksUntilClosed = 0;
    whilePlaybackBoxOpen = [&](OpenBox& box) {
        while (!box.isClosed() && ticksUntilClosed < 100) {
            dialog->playback().onTimer();
            ++ticksUntilClosed;
        }
    };
    click(ControlId::Listen);

    EXPECT_EQ(ticksUntilClosed, 62);
    ASSERT_EQ(playbackTitles.size(), 62u);
    EXPECT_EQ(playbackTitles.front(), "Проигрывание 61");
    EXPECT_EQ(playbackTitles[60], "Проигрывание 1");
    EXPECT_EQ(playbackTitles.back(), "Проигрывание 0");
    EXPECT_EQ(boxes.back(), (Box{"Проигрывание последней записи\n\n", "Buf playback"}));
    EXPECT_EQ(players, (std::vector<std::string>{std::string("library plays ") + kAnswerFile,
                                                 "library stops"}));
    EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());
    EXPECT_EQ(dialog->playback().playbackCountdown(), 0);
}

TEST_F(AnswerWindowTest, OkStopsThePlaybackEarly) {
    window();
    startExam();
    recordClosedAnswer(1);
    whilePlaybackBoxOpen = [&](OpenBox&) { dialog->playback().onTimer(); };
    click(ControlId::Listen);
    EXPECT_EQ(playbackTitles, std::vector<QString>{"Проигрывание 1"});
    EXPECT_EQ(players.back(), "library stops");
    EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());

    click(ControlId::SaveAnswer);
    recordClosedAnswer(15);
    // OK after two ticks of thirty.
    whilePlaybackBoxOpen = [&](OpenBox&) {
        dialog->playback().onTimer();
        dialog->playback().onTimer();
    };
    players.clear();
    click(ControlId::Listen);
    EXPECT_EQ(playbackTitles.back(), "Проигрывание 28");
    EXPECT_EQ(players, (std::vector<std::string>{std::string("library plays ") + kAnswerFile,
                                                 "library stops"}));
    EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());
    EXPECT_EQ(dialog->playback().playbackCountdown(), 0);
}

TEST_F(AnswerWindowTest, APlayerSlowToOpenLeavesTheWindowShowingTheRecording) {
    window();
    startExam();
    recordClosedAnswer(3);
    // The library answers only once the window's thread has shown what was reported meanwhile.
    std::atomic<bool> shown = false;
    library.whilePlaying = [&] {
        QMetaObject::invokeMethod(
            &*dialog, [&] { shown = true; }, Qt::QueuedConnection);
        for (int wait = 0; wait < 500 && !shown; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    click(ControlId::Listen);
    EXPECT_TRUE(shown);
    EXPECT_EQ(players, (std::vector<std::string>{std::string("library plays ") + kAnswerFile,
                                                 "library stops"}));
    EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());
}

TEST_F(AnswerWindowTest, AFailedLibraryPlaybackAsksAndEachAnswerKeepsItsPromise) {
    window();
    startExam();
    recordClosedAnswer(3);
    library.failWith = 41;
    const std::string plays = std::string(" plays ") + kAnswerFile;
    const std::string failed = std::string("library failed ") + kAnswerFile;

    // No: nothing plays, the box still counts down, the library is tried next time.
    int ticks = 0;
    whilePlaybackBoxOpen = [&](OpenBox& box) {
        while (!box.isClosed() && ticks < 100) {
            dialog->playback().onTimer();
            ++ticks;
        }
    };
    answerNext(MessageAnswer::No);
    click(ControlId::Listen);
    EXPECT_EQ(boxes[boxes.size() - 2],
              (Box{"Ошибка проигрывания MP3 через libbass.so, код ошибки - 41\n\nИспользование "
                   "встроенный проигрыватель?",
                   "Ошибка проигрывания", MessageIcon::Exclamation, MessageButtons::YesNo}));
    EXPECT_EQ(boxes.back().caption, "Buf playback");
    EXPECT_EQ(ticks, 6);
    EXPECT_EQ(players, std::vector<std::string>{failed});
    EXPECT_TRUE(dialog->playback().bassAvailable());
    EXPECT_TRUE(dialog->control(ControlId::SaveAnswer)->isEnabled());

    // Yes: the fallback now and from then on, without asking.
    players.clear();
    answerNext(MessageAnswer::Yes);
    click(ControlId::Listen);
    library.failWith.reset();
    const std::size_t asked = boxes.size();
    click(ControlId::Listen);
    EXPECT_EQ(boxes.size(), asked + 1);
    EXPECT_EQ(players, (std::vector<std::string>{failed, "fallback" + plays, "fallback stops",
                                                 "fallback" + plays, "fallback stops"}));
    EXPECT_FALSE(dialog->playback().bassAvailable());
}

}  // namespace
