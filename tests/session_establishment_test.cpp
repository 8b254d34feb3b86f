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
#include <atomic>
#include <thread>

#include "FakeWaveIn.h"
#include "RecorderTest.h"
#include "app/ExamRecorderDialog.h"
#include "audio/CaptureDeviceRegistry.h"
#include "exam/ExamJournal.h"
#include "exam/InterruptedExam.h"
#include "session/KimRegister.h"
#include "session/LongestAnswer.h"
#include "session/SessionSetupDialog.h"
#include "session/SessionTitle.h"

namespace {

const SessionCodes codes{"0042", "007", "fra"};

class SessionEstablishmentTest : public RecorderTest {
protected:
    FakeWaveIn soundCards;
    std::optional<CaptureDeviceRegistry> registry;
    std::optional<ExamRecorderDialog> dialog;

    // A window over `cards` whose set-up dialog confirms `codes`.
    ExamRecorderDialog& window(std::vector<std::string> cards = {"Microphone"}) {
        for (std::string& name : cards) {
            soundCards.devices.push_back({std::move(name)});
        }
        registry.emplace(soundCards);
        dialog.emplace(WindowServices{&*registry, [](QWidget*) { return codes; }});
        return *dialog;
    }
    static void makeFile(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
};

TEST_F(SessionEstablishmentTest, LeavesTheWindowReadyForAnExam) {
    ExamRecorderDialog& window = this->window();
    window.session().examRunning = true;
    window.establishSession();

    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(QDir("out").exists());
    EXPECT_NE(KimRegister::table(), nullptr);
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::SiteCode)->text(), "0042");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::ClassroomCode)->text(), "007");
    EXPECT_EQ(window.control<QLineEdit>(ControlId::SubjectCode)->text(), "fra");
    EXPECT_EQ(window.maxAnswerSeconds(), 0);
    EXPECT_FALSE(window.session().examRunning);

    for (ControlId id :
         {ControlId::StartExam, ControlId::EndExam, ControlId::RecordAnswer, ControlId::StopAnswer,
          ControlId::Listen, ControlId::SaveAnswer, ControlId::KimOk, ControlId::KimRepeatOk,
          ControlId::KimEntry, ControlId::KimRepeatEntry}) {
        EXPECT_EQ(window.control(id)->isEnabled(), id == ControlId::StartExam)
            << static_cast<int>(id);
    }
    for (ControlId id : {ControlId::KimEntry, ControlId::KimLabel, ControlId::KimOk}) {
        EXPECT_TRUE(window.control(id)->isVisibleTo(&window)) << static_cast<int>(id);
    }
    for (ControlId id :
         {ControlId::KimRepeatEntry, ControlId::KimRepeatLabel, ControlId::KimRepeatOk}) {
        EXPECT_FALSE(window.control(id)->isVisibleTo(&window)) << static_cast<int>(id);
    }
    EXPECT_TRUE(window.control<QPushButton>(ControlId::KimOk)->isDefault());
    EXPECT_FALSE(window.control<QPushButton>(ControlId::KimRepeatOk)->isDefault());
    auto* level = window.control<QSlider>(ControlId::LevelSlider);
    EXPECT_EQ(level->minimum(), 0);
    EXPECT_EQ(level->maximum(), 100);
    EXPECT_EQ(level->value(), 100);
}

TEST_F(SessionEstablishmentTest, ListsSoundCardsSortedWithTheRegistrysFirstSelected) {
    ExamRecorderDialog& window = this->window({"Zeta USB", "Alpha", "Mid"});
    window.establishSession();
    auto* list = window.control<QListWidget>(ControlId::SoundCardList);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Alpha");
    EXPECT_EQ(list->item(2)->text(), "Zeta USB");
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), "Zeta USB");
    EXPECT_EQ(list->selectedItems().size(), 1);
}

TEST_F(SessionEstablishmentTest, WithoutASoundCardSaysSoAndEndsTheWindow) {
    ExamRecorderDialog& window = this->window({});
    window.establishSession();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Звуковая карта не найдена!");
    EXPECT_EQ(boxes[0].caption, "Ошибка");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(window.result(), -1);
    // The rest of the sequence still ran.
    EXPECT_TRUE(window.control(ControlId::StartExam)->isEnabled());
}

TEST_F(SessionEstablishmentTest, ModalRunEndsWithMinusOneWhenThereIsNoSoundCard) {
    ExamRecorderDialog& window = this->window({});
    QTimer::singleShot(0, &window, [&] { window.establishSession(); });
    EXPECT_EQ(window.exec(), -1);
}

TEST_F(SessionEstablishmentTest, OutFolderWithVisibleEntriesAsksBeforeGoingOn) {
    ASSERT_TRUE(QDir().mkpath("out/sub"));
    makeFile("out/answer.mp3");
    makeFile("out/.hidden");
    ExamRecorderDialog& window = this->window();

    answerNext(MessageAnswer::No);
    EXPECT_EQ(exitStatusOf([&] { window.establishSession(); }), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Папка 'out' содержит файлы - 2 шт. \n\n Перед проведением экзамена содержимое "
              "папки 'out' должно быть удалено.\n\n Всё равно запустить программу?");
    EXPECT_EQ(boxes[0].caption, "Папка out");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);

    answerNext(MessageAnswer::Yes);
    window.establishSession();
    EXPECT_TRUE(QFile::exists("out/answer.mp3"));
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra");
}

TEST_F(SessionEstablishmentTest, OnlyHiddenNamesInOutAskNothing) {
    ASSERT_TRUE(QDir().mkpath("out/.cache"));
    makeFile("out/.lock");
    window().establishSession();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SessionEstablishmentTest, UnsearchableOutEndsTheProcess) {
    makeFile("out");
    ExamRecorderDialog& window = this->window();
    EXPECT_EQ(exitStatusOf([&] { window.establishSession(); }), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Нет доступа к папке out");
    EXPECT_EQ(boxes[0].caption, "Ошибка");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Stop);
}

TEST_F(SessionEstablishmentTest, OutThatCannotBeWrittenIsToldBeforeTheSetUpAndEndsTheProcess) {
    ASSERT_TRUE(QDir().mkdir("out"));
    const std::string out = QDir("out").absolutePath().toStdString();
    // The administrator may write into any folder but one on a read-only volume.
    const bool administrator = ::geteuid() == 0;
    if (administrator ? ::mount("tmpfs", out.c_str(), "tmpfs", MS_RDONLY, "size=16k") != 0
                      : ::chmod(out.c_str(), 0555) != 0) {
        GTEST_SKIP() << "cannot make a read-only folder here";
    }
    ExamRecorderDialog& window = this->window();
    const int status = exitStatusOf([&] { window.establishSession(); });
    administrator ? ::umount2(out.c_str(), MNT_DETACH) : ::chmod(out.c_str(), 0755);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Нет доступа на запись в папку out");
    EXPECT_EQ(boxes[0].caption, "Ошибка");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(window.sessionCodes().site, "");
}

TEST_F(SessionEstablishmentTest, RunsTheRealSetUpDialogWhenNoneIsGiven) {
    soundCards.devices = {{"Microphone"}};
    registry.emplace(soundCards);
    dialog.emplace(WindowServices{&*registry, {}});
    QTimer::singleShot(0, [] {
        auto* setup = qobject_cast<SessionSetupDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(setup, nullptr);
        auto* sites = setup->control<QComboBox>(SetupControlId::SiteBox);
        sites->setCurrentIndex(sites->findText("0777 Лицей"));
        setup->control<QListWidget>(SetupControlId::SubjectList)->setCurrentRow(1);
        QTest::keyClicks(setup->control(SetupControlId::Classroom), "215");
        setup->accept();
    });
    QFile list("ppe.txt");
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("0777 Лицей\n");
    list.close();

    dialog->establishSession();
    EXPECT_EQ(dialog->windowTitle(), "ППЭ 0777   ауд 215  предмет nem");
    EXPECT_EQ(dialog->sessionCodes().classroom, "215");
}

// A journal in out/ written by the journal itself, one minute apart from 09:00 on.
class ExamJournalTest : public SessionEstablishmentTest {
protected:
    void SetUp() override {
        SessionEstablishmentTest::SetUp();
        ASSERT_TRUE(QDir().mkpath("out"));
    }
    static QDateTime minute(int n) { return QDateTime({2024, 6, 3}, {9, 0}).addSecs(60 * n); }
    ExamJournal journal() {
        return ExamJournal([this](const QString& text) { failures.append(text); }, examJournalPath,
                           [this] { return minute(ticks++); });
    }
    static void appendRaw(const QByteArray& bytes) {
        QFile file(examJournalPath);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(bytes);
    }
    QStringList failures;
    std::atomic<int> ticks{0};
};

TEST_F(ExamJournalTest, CutOffExamNamesEachUnsavedAnswerOnceAndSkipsBrokenLines) {
    ExamJournal log = journal();
    log.examStarted("out/ALL_1.mp3");
    log.answerStarted("1111111", "out/a_1111111.mp3");
    log.answerSaved("1111111", "out/a_1111111.mp3");
    log.examEnded();
    log.examStarted("out/ALL_2.mp3");
    // Recorded twice unsaved; re-recorded, then saved; saved, then cut while re-recorded.
    for (const auto& [kim, save] : {std::pair{"2222222", false},
                                    {"3333333", false},
                                    {"2222222", false},
                                    {"3333333", true},
                                    {"4444444", true}}) {
        log.answerStarted(kim, QString("out/a_%1.mp3").arg(kim));
        log.answerStopped(kim, QString("out/a_%1.mp3").arg(kim));
        if (save) {
            log.answerSaved(kim, QString("out/a_%1.mp3").arg(kim));
        }
    }
    log.answerStarted("4444444", "out/a_4444444.mp3");
    appendRaw("\xff\xfe\tначат экзамен\tALL_3.mp3\n2024-06-03 09:1");
    makeFile("out/ALL_2.mp3");

    std::optional<InterruptedExam> exam = findInterruptedExam("out");
    ASSERT_TRUE(exam.has_value());
    EXPECT_EQ(exam->allFile, "ALL_2.mp3");
    EXPECT_EQ(exam->lastEvent, minute(17));
    EXPECT_EQ(exam->kims, QStringList({"2222222", "4444444"}));
    EXPECT_TRUE(failures.isEmpty());

    // The next run's first line starts after the cut one, not inside it.
    journal().examEnded();
    EXPECT_FALSE(findInterruptedExam("out").has_value());
}

TEST_F(ExamJournalTest, LinesEndedInCrLfAreReadAlike) {
    // A journal copied through a Windows editor.
    appendRaw(
        "2024-06-03 09:00:00\tначат экзамен\tALL_1.mp3\r\n"
        "2024-06-03 09:01:00\tначата запись ответа\tКИМ 1111111\ta_1111111.mp3\r\n");
    makeFile("out/ALL_1.mp3");
    const std::optional<InterruptedExam> exam = findInterruptedExam("out");
    ASSERT_TRUE(exam.has_value());
    EXPECT_EQ(exam->allFile, "ALL_1.mp3");
    EXPECT_EQ(exam->kims, QStringList({"1111111"}));
}

TEST_F(ExamJournalTest, EndedLastExamOrItsAllFileGoneTellsNothing) {
    ExamJournal log = journal();
    log.examStarted("out/ALL_1.mp3");
    log.answerStarted("1111111", "out/a.mp3");
    makeFile("out/ALL_1.mp3");
    ASSERT_TRUE(findInterruptedExam("out").has_value());
    log.examStarted("out/ALL_2.mp3");
    log.examEnded();
    EXPECT_FALSE(findInterruptedExam("out").has_value());

    log.examStarted("out/ALL_3.mp3");
    EXPECT_FALSE(findInterruptedExam("out").has_value());
    EXPECT_FALSE(lastUnendedExam("garbage\n\n\t\t\n").has_value());
}

TEST_F(ExamJournalTest, LinesFromTwoThreadsStayWhole) {
    ExamJournal log = journal();
    log.examStarted("ALL.mp3");
    auto answers = [&log](int first) {
        for (int kim = first; kim < first + 100; ++kim) {
            log.answerStarted(QString::number(kim), "a.mp3");
        }
    };
    std::thread other(answers, 1000000);
    answers(2000000);
    other.join();
    QFile file(examJournalPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(lastUnendedExam(file.readAll())->kims.size(), 200);
}

TEST_F(ExamJournalTest, JournalThatCannotBeWrittenIsToldOnceAndNothingIsCreatedElsewhere) {
    const QString told =
        "Ошибка записи журнала экзамена out/.exam-journal. Запись экзамена продолжается, но "
        "после сбоя программа не сможет назвать ответы, которые нужно записать заново.";
    ASSERT_TRUE(QDir().mkpath(examJournalPath));
    journal().examStarted("ALL.mp3");
    ASSERT_TRUE(QDir().rmdir(examJournalPath));
    ASSERT_TRUE(QFile::link("elsewhere", examJournalPath));
    ExamJournal log = journal();
    log.examStarted("ALL.mp3");
    log.answerStarted("1234565", "a.mp3");
    EXPECT_FALSE(QFile::exists("out/elsewhere"));
    ASSERT_TRUE(QFile::remove(examJournalPath));
    ASSERT_EQ(::mkfifo(examJournalPath, 0600), 0);
    journal().examEnded();
    EXPECT_EQ(failures, QStringList({told, told, told}));
}

TEST_F(ExamJournalTest, NextStartNamesTheCutOffExamAfterTheOutFolderQuestion) {
    ExamJournal log = journal();
    log.examStarted("out/ALL_0042-007-fra__2024-06-03_06-00-00.mp3");
    log.answerStarted("1234565", "out/0042-007-fra_1234565.mp3");
    makeFile("out/ALL_0042-007-fra__2024-06-03_06-00-00.mp3");
    answerNext(MessageAnswer::Yes);
    ExamRecorderDialog& window = this->window();
    window.establishSession();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.startsWith("Папка 'out' содержит файлы - 1 шт."));
    EXPECT_EQ(boxes[1].text,
              "Предыдущий экзамен был прерван: файл записи экзамена "
              "ALL_0042-007-fra__2024-06-03_06-00-00.mp3, последнее событие 03.06.2024 "
              "09:01:00.\n\nОтветы участников экзамена с этими номерами КИМ записывались в "
              "момент сбоя или были записаны, но не сохранены:\n\n1234565\n\nЗапишите ответы "
              "этих участников экзамена заново.");
    EXPECT_EQ(boxes[1].caption, "Экзамен был прерван");
    EXPECT_EQ(boxes[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra");
}

TEST(SessionTitleTest, AddsTheLimitOnlyWhenThereIsOne) {
    EXPECT_EQ(sessionTitle(codes, 0), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, -3), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, 120), "ППЭ 0042   ауд 007  предмет fra (макс.запись - 120 сек)");
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

    soundCards.devices.push_back({"Microphone"});
    registry.emplace(soundCards);
    dialog.emplace(WindowServices{.captureDevices = &*registry,
                                  .runSessionSetup = [](QWidget*) { return codes; },
                                  .settingsFile = settings("maxAnswerSeconds=\n")});
    dialog->establishSession();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "В файле настроек settings-5.conf значение maxAnswerSeconds= не "
              "число секунд.\n\nОтветы записываются без ограничения времени.");
    EXPECT_EQ(dialog->maxAnswerSeconds(), 0);
    dialog.reset();
    dialog.emplace(WindowServices{.captureDevices = &*registry,
                                  .runSessionSetup = [](QWidget*) { return codes; },
                                  .settingsFile = settings("maxAnswerSeconds=90\n")});
    dialog->establishSession();
    EXPECT_EQ(dialog->windowTitle(), "ППЭ 0042   ауд 007  предмет fra (макс.запись - 90 сек)");
}

TEST(SessionTitleTest, LimitIsTheNumberTheTextBeginsWith) {
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

#include "support/PulseAudioServer.h"

namespace {

TEST_F(SessionEstablishmentTest, FirstPaintListsTheSoundServersSourceAndIsReadyForAnExam) {
    if (const auto reason = test_support::PulseAudioServer::unavailableReason()) {
        GTEST_SKIP() << *reason;
    }
    test_support::PulseAudioServer server;
    // The program's own registry, over ALSA, as the real window uses it.
    ExamRecorderDialog window(WindowServices{nullptr, [](QWidget*) { return codes; }});
    window.show();
    auto* list = window.control<QListWidget>(ControlId::SoundCardList);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() > 0 || !boxes.empty(); }, 10000));
    EXPECT_TRUE(boxes.empty());
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), "Звуковой сервер (PulseAudio)");
    EXPECT_TRUE(window.control(ControlId::StartExam)->isEnabled());
    EXPECT_FALSE(window.control(ControlId::EndExam)->isEnabled());
    EXPECT_EQ(window.windowTitle(), "ППЭ 0042   ауд 007  предмет fra");
}

}  // namespace
