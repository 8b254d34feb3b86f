#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "Watchdog.h"
#include "WindowFixture.h"
#include "audio/EncoderLibrary.h"
#include "lame_enc.h"
#include "support/ChildProcess.h"
#include "support/Mp3Inspector.h"

namespace {

using exam_test::kBlockBytes;
using exam_test::tone;
namespace fs = std::filesystem;

constexpr const char* kFirstAllFile = "out/ALL_0123-001-eng__2014-05-14_06-30-05.mp3";
// What the encoder keeps back or puts in front: one frame, and its delay.
constexpr std::int64_t kEncoderSlack = 1152 + 576 + 529;

const QString startQuestion = QStringLiteral(
    "Процедуру начала экзамена необходимо проделать ровно один раз - непосредственно перед "
    "началом ответа первого участника экзамена,\n"
    "а 'Закончить экзамен' следует после сохранения ответа последнего участника экзамена.\n"
    "\n"
    "Будьте внимательны!\n"
    " +) НЕ прерывайте процедуру экзамена, так как запись идёт непрерывно\n"
    " +) НЕ записывайте одного участника экзамена несколько раз без необходимости\n"
    " +) НЕ переименовывайте файлы - это приведёт к ошибке!\n"
    " +) В случае обнаружения ошибки укажите в сопроводительном письме: Код_ППЭ, Код_Аудитории, "
    "ФИО_участника_экзамена\n"
    "\n"
    "Начать экзамен?");

class ExamWindowTest : public ScriptedCardTest {
protected:
    void startExam() { yes(ControlId::StartExam); }
    void endExam() { yes(ControlId::EndExam); }
    std::map<ControlId, bool> enabledStates() {
        return WindowTest::enabledStates(
            {ControlId::StartExam, ControlId::EndExam, ControlId::RecordAnswer,
             ControlId::StopAnswer, ControlId::KimEntry, ControlId::KimRepeatEntry,
             ControlId::KimOk, ControlId::KimRepeatOk, ControlId::Listen, ControlId::SaveAnswer,
             ControlId::LevelSlider, ControlId::SoundCardList});
    }
};

enum class Expect { On, Off, Unchanged };

struct TableRow {
    ControlId id;
    Expect established, started, ended;
};

// The enabled states after each step, as the exam's table gives them.
const std::vector<TableRow> examTable = {
    {ControlId::StartExam, Expect::On, Expect::Off, Expect::On},
    {ControlId::EndExam, Expect::Off, Expect::On, Expect::Off},
    {ControlId::RecordAnswer, Expect::Off, Expect::Off, Expect::Off},
    {ControlId::StopAnswer, Expect::Off, Expect::Off, Expect::Off},
    {ControlId::KimEntry, Expect::Off, Expect::On, Expect::Off},
    {ControlId::KimRepeatEntry, Expect::Off, Expect::On, Expect::Off},
    {ControlId::KimOk, Expect::Off, Expect::On, Expect::Off},
    {ControlId::KimRepeatOk, Expect::Off, Expect::On, Expect::Off},
    {ControlId::Listen, Expect::Off, Expect::Off, Expect::Off},
    {ControlId::SaveAnswer, Expect::Off, Expect::Unchanged, Expect::Unchanged},
    {ControlId::LevelSlider, Expect::Unchanged, Expect::Off, Expect::On},
    {ControlId::SoundCardList, Expect::Unchanged, Expect::Unchanged, Expect::Unchanged},
};

void expectColumn(Expect TableRow::*column, const std::map<ControlId, bool>& before,
                  const std::map<ControlId, bool>& after) {
    for (const TableRow& row : examTable) {
        SCOPED_TRACE(static_cast<int>(row.id));
        const Expect expected = row.*column;
        EXPECT_EQ(after.at(row.id),
                  expected == Expect::Unchanged ? before.at(row.id) : expected == Expect::On);
    }
}

TEST_F(ExamWindowTest, ControlsFollowTheExamTableAndTheStatusLineSaysWhatHappened) {
    dialog.emplace(WindowServices{.captureDevices = &registry,
                                  .runSessionSetup = [](QWidget*) { return kTestCodes; },
                                  .keepAwake = grantedHold});
    auto before = enabledStates();
    dialog->establishSession();
    expectColumn(&TableRow::established, before, enabledStates());

    // As the end of a playback leaves it: start and end must not touch it.
    dialog->control(ControlId::SaveAnswer)->setEnabled(true);
    before = enabledStates();
    startExam();
    expectColumn(&TableRow::started, before, enabledStates());
    EXPECT_EQ(text(ControlId::StatusLine), "Начали экзамен.");

    before = enabledStates();
    endExam();
    expectColumn(&TableRow::ended, before, enabledStates());
    EXPECT_EQ(text(ControlId::StatusLine), "Закончили экзамен.");

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (Box{startQuestion, "Начать экзамен?", MessageIcon::Information,
                             MessageButtons::YesNo}));
    EXPECT_EQ(boxes[1],
              (Box{"Вы уверены, что ответы всех участников экзамена записаны и вы "
                   "хотите закончить экзамен?",
                   "Закончить экзамен?", MessageIcon::Exclamation, MessageButtons::YesNo}));
    for (const MessageRequest& box : boxes) {
        EXPECT_EQ(box.owner, &*dialog);
    }
}

TEST_F(ExamWindowTest, StartWithoutYesOrWithoutASoundCardChangesNothing) {
    window();
    const auto before = enabledStates();
    answerNext(MessageAnswer::No);
    dialog->control<QPushButton>(ControlId::StartExam)->click();
    ASSERT_EQ(boxes.size(), 1u);

    dialog->control<QListWidget>(ControlId::SoundCardList)->clearSelection();
    startExam();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], (Box{"Select Audio device is listbox below!",
                             QCoreApplication::applicationName(), MessageIcon::None}));

    EXPECT_EQ(enabledStates(), before);
    EXPECT_TRUE(mixers.openedDeviceIds.empty());
    EXPECT_FALSE(device().isOpen());
    EXPECT_TRUE(allFiles().empty());
    EXPECT_FALSE(dialog->session().examRunning);
    EXPECT_EQ(text(ControlId::StatusLine), "");
}

TEST_F(ExamWindowTest, StartPreparesTheFirstMixerLineAndRecordsIntoAnAllFileNamedInUtc) {
    window();
    dialog->control<QSlider>(ControlId::LevelSlider)->setValue(40);
    EXPECT_EQ(text(ControlId::LevelReadout), "Уровень записи: 40");
    startExam();

    EXPECT_EQ(allFiles(), std::vector<std::string>{kFirstAllFile});
    EXPECT_TRUE(device().isOpen());
    EXPECT_TRUE(dialog->session().examRunning);
    // The mixer was probed and then opened again to prepare "Mic", its first line.
    EXPECT_EQ(mixers.openedDeviceIds, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(mixers.openMixers, 0);
    ASSERT_EQ(mixers.writes.size(), 3u);
    EXPECT_EQ(mixers.writes[0].details.controlId, 10u);
    EXPECT_EQ(mixers.writes[0].booleans, std::vector<bool>(2, false));
    EXPECT_EQ(mixers.writes[1].details.controlId, 11u);
    EXPECT_EQ(mixers.writes[1].unsigneds, std::vector<std::uint32_t>(2, 400));
    EXPECT_EQ(mixers.listValues(30), (std::vector<bool>{true, false}));

    capture(tone(kBlockBytes / 4));
    EXPECT_EQ(text(ControlId::TotalElapsed), "00:00.02");
    EXPECT_GT(fs::file_size(kFirstAllFile), 0u);
}

class ExamStartFailureTest;

struct StartFailure {
    const char* name;
    std::function<void(ExamStartFailureTest&)> arrange;
    const char* error;
    bool probeFails = false;
};

class ExamStartFailureTest : public ExamWindowTest,
                             public ::testing::WithParamInterface<StartFailure> {
public:
    // A copy of the stand-in encoder library `variant`, in this test's own folder.
    EncoderLibrary& stubEncoder(const std::string& variant) {
        fs::create_directory("lib");
        fs::copy_file(fs::path(ENCODER_STUB_FOLDER) / variant / "liblame_enc.so",
                      "lib/liblame_enc.so");
        encoder.emplace((fs::current_path() / "lib").string(), "liblame_enc.so");
        return *encoder;
    }
    void refuseStreams() {
        stub = dlopen((fs::current_path() / "lib/liblame_enc.so").c_str(), RTLD_NOW);
        ASSERT_NE(stub, nullptr);
        reinterpret_cast<void (*)(BE_ERR)>(dlsym(stub, "stubSetInitResult"))(
            BE_ERR_INVALID_FORMAT_PARAMETERS);
    }

    std::optional<EncoderLibrary> encoder;

protected:
    void TearDown() override {
        ExamWindowTest::TearDown();
        if (stub != nullptr) {
            dlclose(stub);
        }
    }

    void* stub = nullptr;
};

TEST_P(ExamStartFailureTest, IsShownUnderErrorWithCaptureStoppedAndNoAllFileLeft) {
    const StartFailure& failure = GetParam();
    window();
    failure.arrange(*this);
    if (encoder) {
        dialog.reset();
        window(0, &*encoder);
    }
    const auto before = enabledStates();
    startExam();

    const std::size_t probeBoxes = failure.probeFails ? 1 : 0;
    ASSERT_EQ(boxes.size(), 2 + probeBoxes);
    if (failure.probeFails) {
        EXPECT_EQ(boxes[1],
                  (Box{"Error opening mixer", "Can't open Mixer Device.", MessageIcon::None}));
    }
    EXPECT_EQ(boxes.back(),
              (Box{QString(failure.error) + "\n\nЭкзамен не начат.", "Ошибка", MessageIcon::Stop}));

    EXPECT_FALSE(device().isOpen());
    EXPECT_FALSE(dialog->session().examRunning);
    EXPECT_FALSE(dialog->session().allFile.isOpen());
    EXPECT_EQ(mixers.openMixers, 0);
    EXPECT_EQ(enabledStates(), before);
    EXPECT_EQ(text(ControlId::StatusLine), "");
    for (const std::string& name : allFiles()) {
        EXPECT_TRUE(fs::is_directory(name)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExamStartFailureTest,
    ::testing::Values(
        StartFailure{"DeviceGone",
                     [](ExamStartFailureTest& test) {
                         auto* list = test.dialog->control<QListWidget>(ControlId::SoundCardList);
                         list->addItem("Unplugged");
                         list->setCurrentItem(list->findItems("Unplugged", Qt::MatchExactly)[0]);
                     },
                     "Device not found."},
        StartFailure{"MixerNeverOpens",
                     [](ExamStartFailureTest& test) { test.mixers.openFails = true; },
                     "Can't open Mixer Device.", true},
        StartFailure{"MixerOpensOnlyTheSecondTime",
                     [](ExamStartFailureTest& test) { test.mixers.opensFailingFirst = 1; },
                     "Mixer's line not found.", true},
        StartFailure{"MixerWithoutLines",
                     [](ExamStartFailureTest& test) { test.mixers.sources.clear(); },
                     "Mixer's line not found."},
        StartFailure{"EncoderLibraryMissing",
                     [](ExamStartFailureTest& test) {
                         test.encoder.emplace(fs::current_path().string(), "liblame_enc-absent.so");
                     },
                     "Error loading lame_enc.DLL"},
        StartFailure{"EncoderLibraryIncomplete",
                     [](ExamStartFailureTest& test) { test.stubEncoder("without-beVersion"); },
                     "Unable to get LAME interfaces"},
        StartFailure{"EncoderRefusesTheStream",
                     [](ExamStartFailureTest& test) {
                         test.stubEncoder("complete");
                         test.refuseStreams();
                     },
                     "ERRORR in beInitStream."},
        StartFailure{"AllFileCannotBeCreated",
                     [](ExamStartFailureTest&) { fs::create_directory(kFirstAllFile); },
                     "Can't create MP3 file."},
        StartFailure{"CaptureDeviceWillNotOpen",
                     [](ExamStartFailureTest& test) { test.soundCards.fail(FakeStep::Open); },
                     "Can't open WaveIN Device."},
        StartFailure{"CaptureWillNotStart",
                     [](ExamStartFailureTest& test) { test.soundCards.fail(FakeStep::Start); },
                     "Error starting record."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExamWindowTest, EndKeepsEveryBlockInHandAndTheNextExamGetsAFreshStream) {
    window();
    startExam();
    capture(tone(kBlockBytes / 4 * 3 / 2));  // a full block, and half of the next in hand
    endExam();
    EXPECT_FALSE(device().isOpen());
    EXPECT_FALSE(dialog->session().allFile.isOpen());

    now += 60;
    startExam();
    capture(tone(kBlockBytes / 4));  // the stop hands back no bytes
    endExam();
    EXPECT_FALSE(dialog->session().allFile.isOpen());

    const std::vector<std::string> files = allFiles();
    ASSERT_EQ(files, (std::vector<std::string>{kFirstAllFile,
                                               "out/ALL_0123-001-eng__2014-05-14_06-31-05.mp3"}));
    const std::int64_t captured[] = {kBlockBytes / 4 * 3 / 2, kBlockBytes / 4};
    for (int exam = 0; exam < 2; ++exam) {
        SCOPED_TRACE(exam);
        const mp3::Stream stream = mp3::inspectFile(files[exam]);
        EXPECT_EQ(stream.error, "");
        EXPECT_TRUE(stream.framesCoverInput());
        EXPECT_NEAR(static_cast<double>(stream.decodedSamples), captured[exam], kEncoderSlack);
        // A fresh encoder starts with its delay's silence before the tone, not with the end of
        // an earlier exam.
        ASSERT_GT(stream.pcm.size(), 2u * 2000);
        EXPECT_TRUE(std::all_of(stream.pcm.begin(), stream.pcm.begin() + 2L * 500,
                                [](std::int16_t sample) { return std::abs(sample) < 300; }));
        EXPECT_TRUE(std::any_of(stream.pcm.begin() + 2L * 2000, stream.pcm.end(),
                                [](std::int16_t sample) { return std::abs(sample) > 8000; }));
    }

    // Both exams ended: the next start has no interrupted exam to tell of.
    dialog.reset();
    answerNext(MessageAnswer::Yes);  // "Папка out": it holds their files
    window();
    EXPECT_EQ(boxes.back().caption, "Папка out");
}

TEST_F(ExamWindowTest, StartInTheSameSecondAsAnEarlierExamLeavesItsFileAlone) {
    window();
    startExam();
    capture(tone(kBlockBytes / 4));
    endExam();
    const auto recorded = fs::file_size(kFirstAllFile);
    ASSERT_GT(recorded, 0u);

    startExam();
    EXPECT_EQ(boxes.back().text, "Can't create MP3 file.\n\nЭкзамен не начат.");
    EXPECT_EQ(fs::file_size(kFirstAllFile), recorded);
    EXPECT_FALSE(device().isOpen());
}

TEST_F(ExamWindowTest, EndingWhileBlocksKeepArrivingReturnsAndClosesTheFile) {
    window();
    startExam();
    std::atomic<bool> feeding = true;
    std::thread feeder([&] {
        const std::vector<std::byte> sound = tone(kBlockBytes / 4 / 8);
        while (feeding) {
            if (soundCards.record(sound) == sound.size()) {
                std::this_thread::yield();
            }
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::file_size(kFirstAllFile) > 0; }, 10'000));
    {
        const HangGuard guard("the exam's end");
        endExam();
    }
    feeding = false;
    feeder.join();

    EXPECT_FALSE(device().isOpen());
    EXPECT_FALSE(dialog->session().allFile.isOpen());
    const mp3::Stream stream = mp3::inspectFile(kFirstAllFile);
    EXPECT_EQ(stream.error, "");
    EXPECT_TRUE(stream.framesCoverInput());
}

TEST_F(ExamWindowTest, AnswerTimesShowAndTheAnswerClosesWithTheBlockAfterItsStop) {
    window();
    startExam();
    ExamSessionState& session = dialog->session();
    capture(tone(kBlockBytes / 4));
    ASSERT_TRUE(session.answer.open("out/answer.mp3", "0000017"));
    capture(tone(kBlockBytes / 2));
    EXPECT_EQ(text(ControlId::TotalElapsed), "00:00.06");
    EXPECT_EQ(text(ControlId::AnswerElapsed), "00:00.04");
    EXPECT_EQ(text(ControlId::AnswerState), "время записи: 00:00.04");

    ASSERT_TRUE(session.answer.requestStop());
    capture(tone(kBlockBytes / 4));
    EXPECT_EQ(session.answer.state(), AnswerState::Idle);
    EXPECT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
}

TEST_F(ExamWindowTest, CaptureProblemsAreToldOncePerEvent) {
    window();
    startExam();
    soundCards.report(WaveMessage::Kind::Overrun, 66'150);
    capture(tone(kBlockBytes / 4));
    soundCards.report(WaveMessage::Kind::Overrun, 40);
    capture(tone(kBlockBytes / 4));
    capture(tone(kBlockBytes / 4));
    soundCards.report(WaveMessage::Kind::DeviceLost);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() >= 3; }, 10'000));
    takeReports();
    ASSERT_EQ(boxes.size(), 3u);
    // How much was lost, so the organiser can judge whether an answer must be recorded again.
    EXPECT_EQ(boxes[1].text,
              "Часть звука потеряна: 1,5 с. Компьютер не успел принять запись от звуковой карты. "
              "Запись продолжается; если пропуск пришёлся на ответ участника, запишите этот ответ "
              "заново.");
    EXPECT_TRUE(boxes[2].text.startsWith("Звуковая карта перестала записывать"))
        << boxes[2].text.toStdString();
    for (std::size_t i = 1; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].caption, "Ошибка");
    }
    EXPECT_EQ(text(ControlId::StatusLine), boxes[2].text);
}

TEST_F(ExamWindowTest, ALostCardBackAfterSomeLooksRecordsOnIntoTheSameAllFile) {
    window();
    startExam();
    enterKim("0000017");
    yes(ControlId::RecordAnswer);
    soundCards.fail(FakeStep::Open);
    soundCards.report(WaveMessage::Kind::DeviceLost);
    const auto status = [&] { return text(ControlId::StatusLine); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().endsWith("продолжится сама."); }, 10'000));
    pace->look(2);
    const auto failedOpens = [&] { return std::ranges::count(soundCards.calls(), "open failed"); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return failedOpens() == 2; }, 10'000));
    EXPECT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
    soundCards.succeed(FakeStep::Open);
    pace->look();
    const QString back = "Звуковая карта снова записывает: запись экзамена продолжается.";
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == back; }, 10'000));
    EXPECT_EQ(mixers.writes.size(), 4 * 3u) << "the line is prepared at the start and each look";
    enterKim("0000024");
    yes(ControlId::RecordAnswer);
    capture(pcm);
    yes(ControlId::StopAnswer);
    capture(pcm);
    click(ControlId::Listen);
    click(ControlId::SaveAnswer);
    endExam();
    ASSERT_EQ(allFiles(), std::vector<std::string>{kFirstAllFile});
    EXPECT_NEAR(mp3::inspectFile(kFirstAllFile).decodedSamples, kBlockBytes / 2, kEncoderSlack);
    EXPECT_NEAR(mp3::inspectFile("out/0123-001-eng_0000024.mp3").decodedSamples, kBlockBytes / 2,
                kEncoderSlack);
}

// The system's hold over a private system bus, where the login manager's mock comes when a test
// starts it, and no session bus; the variables stay set, naming nothing, for the tests after.
class KeepAwakeTest : public ExamWindowTest {
protected:
    void SetUp() override {
        ExamWindowTest::SetUp();
        if (test_support::runProgram({"/usr/bin/python3", "-c", "import dbusmock"}) != 0) {
            GTEST_SKIP() << "needs the Debian package python3-dbusmock";
        }
        bus.emplace(std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                             "--address=" + address.toStdString()});
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + workingFolder().toUtf8());
        ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("bus"); }, 10'000));
        window(0, nullptr, {.keepAwake = keepSystemAwake});
    }
    // "what|why|mode" of each inhibitor held; nothing while the mock does not answer.
    std::optional<QStringList> inhibitors() const {
        const QDBusMessage reply = QDBusConnection::connectToBus(address, address)
                                       .call(QDBusMessage::createMethodCall(
                                           "org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "ListInhibitors"));
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return std::nullopt;
        }
        QStringList held;
        const auto list = qvariant_cast<QDBusArgument>(reply.arguments().at(0));
        for (list.beginArray(); !list.atEnd(); list.endStructure()) {
            QString what, who, why, mode;
            list.beginStructure();
            list >> what >> who >> why >> mode;
            held << what + '|' + why + '|' + mode;
        }
        list.endArray();
        return held;
    }

    const QString address = "unix:path=" + workingFolder() + "/bus";
    std::optional<test_support::ChildProcess> bus, loginManager;
};

TEST_F(KeepAwakeTest, SleepIsHeldFromTheStartToTheEndOrTheCloseAndItsLackToldOnce) {
    for (int exam = 0; exam < 2; ++exam, now += 60) {
        startExam();
        EXPECT_EQ(text(ControlId::StatusLine),
                  exam == 0 ? "Начали экзамен. Компьютер может уснуть во время экзамена: система "
                              "не дала запретить сон. Отключите сон в настройках питания."
                            : "Начали экзамен.");
        endExam();
    }

    loginManager.emplace(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system",
                                                  "--template", "logind"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitors().has_value(); }, 10'000));
    startExam();
    EXPECT_EQ(inhibitors(),
              QStringList("sleep:idle:handle-lid-switch|Идёт запись устного экзамена|block"));
    endExam();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitors() == QStringList(); }, 10'000));

    now += 60;
    startExam();
    ASSERT_EQ(inhibitors()->size(), 1);
    answerNext(MessageAnswer::Yes);
    EXPECT_EQ(exitStatusOf([&] { dialog->askToClose(); }), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitors() == QStringList(); }, 10'000));
}

}  // namespace
