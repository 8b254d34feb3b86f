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
#include "audio/CaptureDeviceRegistry.h"
#include "session/KimRegister.h"
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
    window.session().answerState = AnswerState::Recording;
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
    EXPECT_EQ(window.session().answerState, AnswerState::Idle);

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

TEST(SessionTitleTest, AddsTheLimitOnlyWhenThereIsOne) {
    EXPECT_EQ(sessionTitle(codes, 0), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, -3), "ППЭ 0042   ауд 007  предмет fra");
    EXPECT_EQ(sessionTitle(codes, 120), "ППЭ 0042   ауд 007  предмет fra (макс.запись - 120 сек)");
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
