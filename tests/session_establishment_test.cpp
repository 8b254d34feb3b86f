#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "FakeWaveIn.h"
#include "RecorderTest.h"
#include "app/ExamRecorderDialog.h"
#include "app/SystemServices.h"
#include "audio/CaptureDeviceRegistry.h"
#include "exam/ExamJournal.h"
#include "session/SessionEstablishment.h"
#include "session/SessionSetupDialog.h"
#include "session/SessionTitle.h"
#include "support/PulseAudioServer.h"

namespace {

const SessionCodes codes{"0042", "007", "fra"};

class SessionEstablishmentTest : public RecorderTest {
protected:
    FakeWaveIn soundCards;
    std::optional<CaptureDeviceRegistry> registry;
    CaptureDeviceRegistry* captureDevices = nullptr;
    std::optional<ExamRecorderDialog> dialog;
    QWidget owner;
    LongestAnswer longest;
    KimRegister::Allocator allocate = &KimRegister::allocateZeroed;
    // The steps the sequence called back, in order.
    QStringList ran;

    CaptureDeviceRegistry& cards(std::vector<std::string> names) {
        for (std::string& name : names) {
            soundCards.devices.push_back({std::move(name)});
        }
        return *(captureDevices = &registry.emplace(soundCards));
    }
    // The sequence over the cards (a card "Microphone" unless given), confirming `codes`.
    EstablishedSession establish() {
        if (captureDevices == nullptr) {
            cards({"Microphone"});
        }
        const auto step = [this](const char* name, auto result) {
            return [this, name, result](auto...) {
                ran << name;
                return result();
            };
        };
        return SessionEstablishment(
                   &owner, {.runSetup = step("set-up", [] { return codes; }),
                            .afterSetup = step("after set-up", [] {}),
                            .longestAnswer = step("longest answer", [this] { return longest; }),
                            .captureDevices = captureDevices,
                            .allocateRegister = allocate})
            .run();
    }
    // A window over `names` whose set-up confirms `codes`, its longest answer `longest`.
    ExamRecorderDialog& window(std::vector<std::string> names) {
        return dialog.emplace(WindowServices{.captureDevices = &cards(std::move(names)),
                                             .runSessionSetup = [](QWidget*) { return codes; },
                                             .longestAnswer = [this] { return longest; }});
    }
    // The one box told before the process ended, with nothing after the out folder run.
    void expectStop(const QString& text) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], (Box{text, "Ошибка", MessageIcon::Stop}));
        EXPECT_EQ(boxes[0].owner, &owner);
        EXPECT_TRUE(ran.isEmpty()) << ran.join(", ").toStdString();
    }
};

TEST_F(SessionEstablishmentTest, BuildsTheRegisterAndOutThenAsksTheCodesAndListsTheCards) {
    cards({"Zeta USB", "Alpha", "Mid"});
    const EstablishedSession session = establish();

    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(QDir("out").exists());
    EXPECT_NE(KimRegister::table(), nullptr);
    EXPECT_EQ(ran, QStringList({"set-up", "after set-up", "longest answer"}));
    EXPECT_EQ(QStringList({session.codes.site, session.codes.classroom, session.codes.subject}),
              QStringList({"0042", "007", "fra"}));
    EXPECT_EQ(session.maxAnswerSeconds, 0);
    EXPECT_EQ(session.soundCards, std::vector<QString>({"Zeta USB", "Alpha", "Mid"}));
}

TEST_F(SessionEstablishmentTest, WithoutMemoryForTheKimRegisterTellsAndEndsTheProcess) {
    allocate = [](std::size_t) -> void* { return nullptr; };
    EXPECT_EQ(exitStatusOf([&] { establish(); }), 1);
    expectStop(
        "Не хватает памяти для таблицы допустимых номеров КИМ (около 10 МБ).\n\nЗакройте другие "
        "программы и запустите программу снова.");
}

TEST_F(SessionEstablishmentTest, OutFolderWithVisibleEntriesAsksBeforeGoingOn) {
    ASSERT_TRUE(QDir().mkpath("out/.cache"));
    ASSERT_TRUE(QFile("out/.lock").open(QIODevice::WriteOnly));
    establish();
    EXPECT_TRUE(boxes.empty());

    ASSERT_TRUE(QDir().mkpath("out/sub"));
    ASSERT_TRUE(QFile("out/answer.mp3").open(QIODevice::WriteOnly));
    ran.clear();
    answerNext(MessageAnswer::No);
    EXPECT_EQ(exitStatusOf([&] { establish(); }), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (Box{"Папка 'out' содержит файлы - 2 шт. \n\n Перед проведением экзамена "
                             "содержимое папки 'out' должно быть удалено.\n\n Всё равно "
                             "запустить программу?",
                             "Папка out", MessageIcon::Exclamation, MessageButtons::YesNo}));
    EXPECT_TRUE(ran.isEmpty());

    answerNext(MessageAnswer::Yes);
    EXPECT_EQ(establish().codes.site, "0042");
    EXPECT_TRUE(QFile::exists("out/answer.mp3"));
}

TEST_F(SessionEstablishmentTest, OutThatCannotBeSearchedOrWrittenIsToldBeforeTheSetUpAndEnds) {
    ASSERT_TRUE(QFile("out").open(QIODevice::WriteOnly));
    EXPECT_EQ(exitStatusOf([&] { establish(); }), 1);
    expectStop("Нет доступа к папке out");

    ASSERT_TRUE(QFile::remove("out") && QDir().mkdir("out"));
    boxes.clear();
    const std::string out = QDir("out").absolutePath().toStdString();
    // The administrator may write into any folder but one on a read-only volume.
    const bool administrator = ::geteuid() == 0;
    if (administrator ? ::mount("tmpfs", out.c_str(), "tmpfs", MS_RDONLY, "size=16k") != 0
                      : ::chmod(out.c_str(), 0555) != 0) {
        GTEST_SKIP() << "cannot make a read-only folder here";
    }
    const int status = exitStatusOf([&] { establish(); });
    administrator ? ::umount2(out.c_str(), MNT_DETACH) : ::chmod(out.c_str(), 0755);
    EXPECT_EQ(status, 1);
    expectStop("Нет доступа на запись в папку out");
}

// The settings file stands in for string 2, read the same way; a value that is no number is
// told, where reading it as 0 would lift the limit without a word.
TEST_F(SessionEstablishmentTest, TheSettingsFileSetsTheLongestAnswerOrSaysWhyItCannot) {
    int files = 0;  // each a file of its own: the settings' cache goes by name
    const auto settings = [&](const QByteArray& lines) {
        QFile file(QStringLiteral("settings-%1.conf").arg(++files));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lines);
        return file.fileName();
    };
    EXPECT_EQ(readLongestAnswer({}).seconds, 0);
    EXPECT_EQ(readLongestAnswer(settings("other=5\n")).seconds, 0);
    EXPECT_TRUE(readLongestAnswer(settings("other=5\n")).problem.isEmpty());
    EXPECT_EQ(
        readLongestAnswer(settings("maxAnswerSeconds = 300 - пять минут, не больше\n")).seconds,
        300);
    const LongestAnswer unread = readLongestAnswer(settings("maxAnswerSeconds=пять минут\n"));
    EXPECT_EQ(unread.seconds, 0);
    EXPECT_EQ(unread.problem,
              "В файле настроек settings-4.conf значение "
              "maxAnswerSeconds=пять минут не число секунд.");

    longest = readLongestAnswer(settings("maxAnswerSeconds=\n"));
    EXPECT_EQ(establish().maxAnswerSeconds, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "В файле настроек settings-5.conf значение maxAnswerSeconds= не "
              "число секунд.\n\nОтветы записываются без ограничения времени.");
    EXPECT_EQ(boxes[0].owner, &owner);
    longest = readLongestAnswer(settings("maxAnswerSeconds=90\n"));
    EXPECT_EQ(establish().maxAnswerSeconds, 90);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(SessionEstablishmentTest, TheProgramsSetUpIsTheRealSetUpDialog) {
    const WindowServices program = withSystemServices({.captureDevices = &cards({})});
    EXPECT_FALSE(program.signal.soundCheck);
    EXPECT_NE(program.libraryPlayer, nullptr);
    QTimer::singleShot(0, [] {
        auto* setup = qobject_cast<SessionSetupDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(setup, nullptr);
        setup->control<QComboBox>(SetupControlId::SiteBox)->setCurrentIndex(0);
        QTest::keyClicks(setup->control(SetupControlId::ManualSite), "0777");
        setup->control<QListWidget>(SetupControlId::SubjectList)->setCurrentRow(1);
        QTest::keyClicks(setup->control(SetupControlId::Classroom), "215");
        setup->accept();
    });
    const SessionCodes confirmed = program.runSessionSetup(&owner);
    EXPECT_EQ(confirmed.site, "0777");
    EXPECT_EQ(confirmed.classroom, "215");
    EXPECT_EQ(confirmed.subject, "nem");
}

TEST_F(SessionEstablishmentTest, OverTheSystemsCardsTheSoundServersSourceIsListedAndChecked) {
    if (const auto reason = test_support::PulseAudioServer::unavailableReason()) {
        GTEST_SKIP() << *reason;
    }
    test_support::PulseAudioServer server;
    // The program's own registry, over ALSA, as the real window uses it.
    const WindowServices program = withSystemServices({});
    EXPECT_TRUE(program.signal.soundCheck);
    captureDevices = program.captureDevices;
    const EstablishedSession session = establish();
    EXPECT_TRUE(boxes.empty());
    ASSERT_FALSE(session.soundCards.empty());
    EXPECT_EQ(session.soundCards.front(), "Звуковой сервер (PulseAudio)");
}

TEST_F(SessionEstablishmentTest, TheWindowShowsTheSessionReadyForAnExam) {
    longest.seconds = 90;
    ExamRecorderDialog& window = this->window({"Zeta USB", "Alpha", "Mid"});
    window.session().examRunning = true;
    window.establishSession();

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra (макс.запись - 90 сек)");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::SiteCode)->text(), "0042");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::ClassroomCode)->text(), "007");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::SubjectCode)->text(), "fra");
    EXPECT_EQ(window.maxAnswerSeconds(), 90);
    EXPECT_FALSE(window.session().examRunning);

    for (ControlId id : {ControlId::KimEntry, ControlId::KimLabel, ControlId::KimOk}) {
        EXPECT_TRUE(window.control(id)->isVisibleTo(&window)) << static_cast<int>(id);
    }
    for (ControlId id :
         {ControlId::KimRepeatEntry, ControlId::KimRepeatLabel, ControlId::KimRepeatOk}) {
        EXPECT_FALSE(window.control(id)->isVisibleTo(&window)) << static_cast<int>(id);
    }
    EXPECT_TRUE(window.control<QPushButton>(ControlId::KimOk)->isDefault());
    EXPECT_FALSE(window.control<QPushButton>(ControlId::KimRepeatOk)->isDefault());
    const auto* level = window.control<QSlider>(ControlId::LevelSlider);
    EXPECT_EQ(std::tuple(level->minimum(), level->maximum(), level->value()),
              std::tuple(0, 100, 100));

    // Sorted, with the registry's first selected.
    auto* list = window.control<QListWidget>(ControlId::SoundCardList);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Alpha");
    EXPECT_EQ(list->item(2)->text(), "Zeta USB");
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(list->selectedItems().size(), 1);
}

TEST_F(SessionEstablishmentTest, WithoutASoundCardTheWindowSaysSoAndItsRunEndsWithMinusOne) {
    ExamRecorderDialog& window = this->window({});
    QTimer::singleShot(0, &window, [&] { window.establishSession(); });
    EXPECT_EQ(window.exec(), -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (Box{"Звуковая карта не найдена!", "Ошибка", MessageIcon::Stop}));
    EXPECT_EQ(boxes[0].owner, &window);
    // The rest of the sequence still ran.
    EXPECT_TRUE(window.control(ControlId::StartExam)->isEnabled());
}

TEST_F(SessionEstablishmentTest, TheWindowNamesTheCutOffExamAfterTheOutFolderQuestion) {
    ASSERT_TRUE(QDir().mkpath("out"));
    ExamJournal journal({}, examJournalPath, [] { return QDateTime({2024, 6, 3}, {9, 1}); });
    journal.examStarted("out/ALL_0042-007-fra__2024-06-03_06-00-00.mp3");
    journal.answerStarted("1234565", "out/0042-007-fra_1234565.mp3");
    ASSERT_TRUE(QFile("out/ALL_0042-007-fra__2024-06-03_06-00-00.mp3").open(QIODevice::WriteOnly));
    answerNext(MessageAnswer::Yes);
    ExamRecorderDialog& window = this->window({"Microphone"});
    window.establishSession();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.startsWith("Папка 'out' содержит файлы - 1 шт."));
    EXPECT_EQ(boxes[1], (Box{"Предыдущий экзамен был прерван: файл записи экзамена "
                             "ALL_0042-007-fra__2024-06-03_06-00-00.mp3, последнее событие "
                             "03.06.2024 09:01:00.\n\nОтветы участников экзамена с этими "
                             "номерами КИМ записывались в момент сбоя или были записаны, но не "
                             "сохранены:\n\n1234565\n\nЗапишите ответы этих участников "
                             "экзамена заново.",
                             "Экзамен был прерван", MessageIcon::Exclamation}));
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra");
}

TEST(SessionTitleTest, AddsTheLimitOnlyWhenThereIsOneReadAsTheNumberTheTextBeginsWith) {
    EXPECT_EQ(sessionTitle(codes, 0), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, -3), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, 120), "ППЭ 0042   ауд 007  предмет fra (макс.запись - 120 сек)");
    EXPECT_EQ(maxAnswerSecondsFrom("0 - максимальное время записи в секундах. Можете менять "
                                   "это значение. 0 означает БЕЗ ограничений"),
              0);
    EXPECT_EQ(maxAnswerSecondsFrom("120 - максимальное время"), 120);
    EXPECT_EQ(maxAnswerSecondsFrom(" \t+90сек"), 90);
    EXPECT_EQ(maxAnswerSecondsFrom("-5"), -5);
    EXPECT_EQ(maxAnswerSecondsFrom("секунд: 60"), 0);
    EXPECT_EQ(maxAnswerSecondsFrom(""), 0);
    EXPECT_EQ(maxAnswerSecondsFrom("99999999999"), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
