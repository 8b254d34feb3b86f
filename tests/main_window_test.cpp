#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <vector>

#include "FakeWaveIn.h"
#include "RecorderTest.h"
#include "app/ExamRecorderDialog.h"
#include "app/RecorderApp.h"
#include "audio/CaptureDeviceRegistry.h"
#include "base/ProcessExit.h"

namespace {

struct InitialControl {
    ControlId id;
    const char* className;
    const char* caption;
    bool enabled;
    bool visible;
};

// The window as it opens, before the session is set up.
const std::vector<InitialControl> initialControls = {
    {ControlId::Exit, "QPushButton", "Выход", true, true},
    {ControlId::StartExam, "QPushButton", "Начать экзамен", false, true},
    {ControlId::SoundCardList, "QListWidget", nullptr, true, true},
    {ControlId::EndExam, "QPushButton", "Закончить экзамен", false, true},
    {ControlId::RecordAnswer, "WrappingPushButton", "запись ответа участника экзамена", false,
     true},
    {ControlId::StopAnswer, "WrappingPushButton", "Закончить запись\nответа", false, true},
    {ControlId::StatusLine, "QLabel", "", false, true},
    {ControlId::KimEntry, "QLineEdit", "", false, true},
    {ControlId::KimLabel, "QLabel", "Введите номер КИМ", true, true},
    {ControlId::Listen, "WrappingPushButton", "Прослушать \n начало записи", false, true},
    {ControlId::KimRepeatEntry, "QLineEdit", "", true, false},
    {ControlId::KimRepeatLabel, "QLabel", "Повторите ввод\n номера КИМ", true, false},
    {ControlId::KimOk, "QPushButton", "ok", true, true},
    {ControlId::KimRepeatOk, "QPushButton", "ok", true, false},
    {ControlId::SiteCode, "QLineEdit", "", false, true},
    {ControlId::ClassroomCode, "QLineEdit", "", false, true},
    {ControlId::SubjectCode, "QLineEdit", "", false, true},
    {ControlId::LevelSlider, "QSlider", nullptr, true, false},
    {ControlId::LevelReadout, "QLabel", "уровень записи: ", false, false},
    {ControlId::AnswerElapsed, "QLineEdit", "", false, false},
    {ControlId::SaveAnswer, "WrappingPushButton", "Сохранить\nзапись", false, true},
    {ControlId::TotalElapsed, "QLineEdit", "", false, true},
    {ControlId::AnswerState, "QLabel", "", true, true},
    {ControlId::ShowStatement, "QPushButton", "Показать ведомость", true, true},
    {ControlId::WorkList, "QListWidget", nullptr, true, false},
    {ControlId::RecordIndicator, "QLabel", nullptr, true, false},
};

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    return {};
}

class MainWindowTest : public RecorderTest {
protected:
    MainWindowTest() { soundCards.devices = {{"Microphone"}}; }

    FakeWaveIn soundCards;
    CaptureDeviceRegistry registry{soundCards};
    int setupRuns = 0;
    ExamRecorderDialog dialog{WindowServices{&registry, [this](QWidget*) {
                                                 ++setupRuns;
                                                 return SessionCodes{"1234", "101", "eng"};
                                             }}};

    void showAndWait() {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
};

TEST_F(MainWindowTest, OpensWithEveryControlOfTheTemplateInItsInitialState) {
    for (const InitialControl& expected : initialControls) {
        SCOPED_TRACE(static_cast<int>(expected.id));
        QWidget* widget = dialog.control(expected.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), expected.className);
        if (expected.caption != nullptr) {
            EXPECT_EQ(captionOf(widget), QString::fromUtf8(expected.caption));
        }
        EXPECT_EQ(widget->isEnabled(), expected.enabled);
        EXPECT_EQ(widget->isVisibleTo(&dialog), expected.visible);
        EXPECT_TRUE(dialog.rect().contains(widget->geometry()));
    }
    EXPECT_TRUE(dialog.control<QPushButton>(ControlId::KimOk)->isDefault());
    EXPECT_TRUE(dialog.control<QListWidget>(ControlId::SoundCardList)->isSortingEnabled());
    EXPECT_TRUE(dialog.control<QListWidget>(ControlId::WorkList)->isSortingEnabled());
    EXPECT_TRUE(dialog.control<QLineEdit>(ControlId::SiteCode)->isReadOnly());
    EXPECT_FALSE(dialog.control<QLabel>(ControlId::RecordIndicator)->pixmap().isNull());
    EXPECT_FALSE(dialog.windowIcon().pixmap(32).isNull());
}

TEST_F(MainWindowTest, FramesAndCodeLabelsCarryTheirCaptions) {
    QStringList frames;
    for (auto* group : dialog.findChildren<QGroupBox*>()) {
        frames << group->title();
    }
    EXPECT_EQ(frames.size(), 3);
    EXPECT_TRUE(frames.contains(" Проведение экзамена "));
    EXPECT_TRUE(frames.contains(" Запись ответа участника экзамена "));
    EXPECT_TRUE(frames.contains(" Выберите звуковую карту "));

    std::map<QString, QWidget*> buddies;
    for (auto* label : dialog.findChildren<QLabel*>()) {
        buddies[label->text()] = label->buddy();
    }
    EXPECT_EQ(buddies["Введите номер КИМ"], dialog.control(ControlId::KimEntry));
    EXPECT_EQ(buddies["Повторите ввод\n номера КИМ"], dialog.control(ControlId::KimRepeatEntry));
    EXPECT_EQ(buddies["ППЭ:"], dialog.control(ControlId::SiteCode));
    EXPECT_EQ(buddies["Аудитория:"], dialog.control(ControlId::ClassroomCode));
    EXPECT_EQ(buddies["Предмет:"], dialog.control(ControlId::SubjectCode));
    EXPECT_EQ(buddies["Общее время:"], dialog.control(ControlId::TotalElapsed));
}

TEST_F(MainWindowTest, TabOrderFollowsTheTemplateOrder) {
    const std::vector<ControlId> expected = {
        ControlId::Exit,          ControlId::StartExam,    ControlId::SoundCardList,
        ControlId::EndExam,       ControlId::RecordAnswer, ControlId::StopAnswer,
        ControlId::KimEntry,      ControlId::Listen,       ControlId::KimRepeatEntry,
        ControlId::KimOk,         ControlId::KimRepeatOk,  ControlId::SiteCode,
        ControlId::ClassroomCode, ControlId::SubjectCode,  ControlId::LevelSlider,
        ControlId::AnswerElapsed, ControlId::SaveAnswer,   ControlId::TotalElapsed,
        ControlId::ShowStatement, ControlId::WorkList};
    EXPECT_EQ(tabChain<ControlId>(dialog.control(ControlId::Exit), controlIdProperty), expected);
}

TEST_F(MainWindowTest, KimEntriesTakeDigitsOnly) {
    auto* entry = dialog.control<QLineEdit>(ControlId::KimEntry);
    entry->setEnabled(true);
    showAndWait();
    entry->setFocus();
    QTest::keyClicks(entry, "12a3-4 5");
    EXPECT_EQ(entry->text(), "12345");
}

// Escape, wherever the focus is, does nothing: it asks no question either.
TEST_F(MainWindowTest, EveryWayOfClosingAsksAndNoLeavesTheWindowAsItWas) {
    showAndWait();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.control(ControlId::SoundCardList)->setFocus();
    QTest::keyClick(dialog.control(ControlId::SoundCardList), Qt::Key_Escape);
    QCoreApplication::processEvents();
    answerNext(MessageAnswer::No);
    dialog.close();
    answerNext(MessageAnswer::No);
    dialog.control<QPushButton>(ControlId::Exit)->click();
    answerNext(MessageAnswer::No);
    QTest::keyClick(&dialog, Qt::Key_F4, Qt::AltModifier);
    answerNext(MessageAnswer::No);
    dialog.accept();

    ASSERT_EQ(boxes.size(), 4u);
    for (const MessageRequest& box : boxes) {
        EXPECT_EQ(box, (Box{"Закрыть программу?", "Выход", MessageIcon::Exclamation,
                            MessageButtons::YesNo}));
        EXPECT_EQ(box.owner, &dialog);
    }
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MainWindowTest, YesToTheCloseQuestionEndsTheProcessWithStatusOne) {
    answerNext(MessageAnswer::Yes);
    EXPECT_EQ(exitStatusOf([&] { dialog.askToClose(); }), 1);

    setExitHandler({});
    EXPECT_EXIT(
        {
            showAndWait();
            answerNext(MessageAnswer::Yes);
            dialog.close();
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(MainWindowTest, SessionSetUpStartsOnceAfterTheFirstPaint) {
    QCoreApplication::processEvents();
    EXPECT_EQ(setupRuns, 0);
    showAndWait();
    EXPECT_TRUE(QTest::qWaitFor([&] { return setupRuns > 0; }, 2000));
    EXPECT_EQ(dialog.windowTitle(), "ППЭ 1234   ауд 101  предмет eng");
    dialog.repaint();
    dialog.hide();
    showAndWait();
    dialog.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(setupRuns, 1);
}

TEST_F(MainWindowTest, StandardButtonsSpeakRussian) {
    installRussianTranslations();
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Да");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Нет");
}

QStringList listed(QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts.append(list->item(row)->text() + (list->item(row)->isSelected() ? " *" : ""));
    }
    return texts;
}

TEST_F(MainWindowTest, SoundCardsAreListedAgainAsTheOrganiserTurnsToTheList) {
    soundCards.devices = {{"Webcam"}, {"Microphone"}};
    showAndWait();
    auto* list = dialog.control<QListWidget>(ControlId::SoundCardList);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 2000));
    list->setCurrentRow(0);
    ASSERT_EQ(listed(list), QStringList({"Microphone *", "Webcam"}));
    dialog.control(ControlId::Exit)->setFocus();
    soundCards.devices = {{"Headset"}, {"Webcam"}, {"Microphone"}};
    list->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(listed(list), QStringList({"Headset", "Microphone *", "Webcam"}));
    // A card gone takes the choice with it; a click chooses in the list as it is now.
    soundCards.devices = {{"Webcam"}, {"Headset"}};
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(listed(list), QStringList({"Headset", "Webcam *"}));
    dialog.control(ControlId::Exit)->setFocus();
    dialog.session().examRunning.store(true);
    soundCards.devices = {{"Webcam"}};
    list->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(listed(list), QStringList({"Headset", "Webcam *"}));
    dialog.session().examRunning.store(false);
}

}  // namespace