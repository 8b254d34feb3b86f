#include <gmock/gmock.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "RecorderTest.h"
#include "base/ProcessExit.h"
#include "session/SessionSetupDialog.h"

namespace {

using ::testing::ElementsAre;

const QString siteMessage = QStringLiteral(
    "Выберите ППЭ из списка или укажите вручную 4-значный числовой КодППЭ 0001-9999,\nвыбрав "
    "самый нижний пункт 'ППЭ отсутствует в списке'");
const QString classroomLengthMessage = QStringLiteral("Укажите номер аудитории от 001 до 999");
const QString classroomDigitsMessage =
    QStringLiteral("Номер аудитории должен быть числовым от 001 до 999");
const QString manualItem = QStringLiteral("---- - Указать код ППЭ вручную");

void writeSiteList(const QByteArray& content) {
    QFile file("ppe.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
}

class SessionSetupDialogTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        writeSiteList(
            QStringLiteral("0001 Школа №1\n\n12345 Гимназия\nabcd Лицей\n0000 Нулевая").toUtf8());
    }

    // The dialog, made once the test has put the site list it wants in place.
    SessionSetupDialog& dialog() {
        if (!dialog_) {
            dialog_.emplace();
        }
        return *dialog_;
    }
    void showAndWait() {
        dialog().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog()));
    }

    QComboBox* siteBox() { return dialog().control<QComboBox>(SetupControlId::SiteBox); }
    QLineEdit* manualSite() { return dialog().control<QLineEdit>(SetupControlId::ManualSite); }
    QLineEdit* classroom() { return dialog().control<QLineEdit>(SetupControlId::Classroom); }
    QListWidget* subjects() { return dialog().control<QListWidget>(SetupControlId::SubjectList); }
    QPushButton* confirmButton() { return dialog().control<QPushButton>(SetupControlId::Confirm); }

    void chooseSite(const QString& itemText) {
        const int index = siteBox()->findText(itemText);
        ASSERT_GE(index, 0) << itemText.toStdString();
        siteBox()->setCurrentIndex(index);
    }
    void typeManualSite(const QString& code) {
        chooseSite(manualItem);
        QTest::keyClicks(manualSite(), code);
    }
    void chooseSubject(int row) { subjects()->setCurrentRow(row); }

    // A fresh dialog, as the next session would get.
    void reopen() {
        dialog_.reset();
        dialog_.emplace();
    }

private:
    std::optional<SessionSetupDialog> dialog_;
};

TEST_F(SessionSetupDialogTest, OpensAsTheTemplateSays) {
    showAndWait();
    EXPECT_EQ(dialog().windowTitle(),
              "ZELVO9 - иностранные языки - программа для записи устной части");
    EXPECT_EQ(dialog().size(), QSize(760, 336));
    EXPECT_FALSE(dialog().windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(confirmButton()->text(), "Далее");
    EXPECT_TRUE(confirmButton()->isDefault());
    EXPECT_FALSE(siteBox()->isEditable());
    EXPECT_FALSE(manualSite()->isEnabled());

    QStringList labels;
    for (auto* label : dialog().findChildren<QLabel*>()) {
        labels << label->text();
        const QRect text(label->pos(), QSize(label->sizeHint().width(), label->height()));
        EXPECT_TRUE(dialog().rect().contains(text)) << label->text().toStdString();
        for (SetupControlId id : {SetupControlId::SiteBox, SetupControlId::ManualSite,
                                  SetupControlId::Classroom, SetupControlId::SubjectList}) {
            EXPECT_FALSE(text.intersects(dialog().control(id)->geometry()))
                << label->text().toStdString() << " runs under " << static_cast<int>(id);
        }
    }
    EXPECT_THAT(labels, ::testing::UnorderedElementsAre(
                            "1) Выберите ППЭ из списка:", "или введите 4-значный Код_ППЭ вручную:",
                            "2) Введите 3-значный числовой Код_Аудитории от 001 до 999:",
                            "3) Выберите предмет:"));

    QStringList sites;
    for (int i = 0; i < siteBox()->count(); ++i) {
        sites << siteBox()->itemText(i);
    }
    EXPECT_THAT(sites, ElementsAre(manualItem, "0001 Школа №1", "", "12345 Гимназия", "abcd Лицей",
                                   "0000 Нулевая"));
    EXPECT_EQ(siteBox()->currentText(), "");
    QStringList subjectNames;
    for (int row = 0; row < subjects()->count(); ++row) {
        subjectNames << subjects()->item(row)->text();
    }
    EXPECT_THAT(subjectNames, ElementsAre("английский язык", "немецкий язык", "французский язык",
                                          "испанский язык"));
    EXPECT_TRUE(subjects()->selectedItems().isEmpty());

    EXPECT_EQ(QApplication::focusWidget(), confirmButton());
    EXPECT_THAT(
        tabChain<SetupControlId>(confirmButton(), "controlId"),
        ElementsAre(SetupControlId::Confirm, SetupControlId::SubjectList, SetupControlId::Classroom,
                    SetupControlId::SiteBox, SetupControlId::ManualSite));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SessionSetupDialogTest, ASiteListThatCannotBeReadIsToldOnceAndLeavesManualEntry) {
    const QString notAFile = QStringLiteral(
        "Файл ppe.txt, содержащий список ППЭ, не прочитан: это не обычный файл, а папка, канал "
        "или устройство.\n\nУкажите код ППЭ вручную.");
    const struct {
        const char* what;
        std::function<void()> make;
        QString text;
        MessageIcon icon;
    } cases[] = {
        {"no ppe.txt", [] {}, "Файл ppe.txt, содержащий список ППЭ, не найден.", MessageIcon::None},
        {"a folder", [] { QDir().mkdir("ppe.txt"); }, notAFile, MessageIcon::Exclamation},
        {"more than 16 MiB",
         [] {
             QFile file("ppe.txt");
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             ASSERT_TRUE(file.resize(16 * 1024 * 1024 + 1));
         },
         "Файл ppe.txt, содержащий список ППЭ, не прочитан: он больше 16 МБ, а список ППЭ намного "
         "меньше.\n\nУкажите код ППЭ вручную.",
         MessageIcon::Exclamation},
    };
    for (const auto& unread : cases) {
        SCOPED_TRACE(unread.what);
        QFile::remove("ppe.txt");
        QDir().rmdir("ppe.txt");
        unread.make();
        boxes.clear();
        reopen();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], (Box{unread.text,
                                 unread.icon == MessageIcon::None ? "Не найден файл ppe.txt"
                                                                  : "Не прочитан файл ppe.txt",
                                 unread.icon}));
        EXPECT_EQ(boxes[0].owner, &dialog());
        ASSERT_EQ(siteBox()->count(), 1);
        EXPECT_EQ(siteBox()->itemText(0), manualItem);
    }
}

TEST_F(SessionSetupDialogTest, ChoosingTheManualItemOpensTheEditAndAnyOtherClosesIt) {
    showAndWait();
    chooseSite(manualItem);
    EXPECT_TRUE(manualSite()->isEnabled());
    EXPECT_EQ(dialog().focusWidget(), manualSite());
    QTest::keyClicks(manualSite(), "1234");

    chooseSite("0001 Школа №1");
    EXPECT_FALSE(manualSite()->isEnabled());
    EXPECT_EQ(manualSite()->text(), "");
    chooseSite(manualItem);
    EXPECT_TRUE(manualSite()->isEnabled());
    EXPECT_EQ(manualSite()->text(), "");
}

TEST_F(SessionSetupDialogTest, RefusesBadInputWithTheFirstFailingChecksMessage) {
    struct Case {
        const char* what;
        std::function<void()> input;
        QString text;
        QString caption;
        SetupControlId focus;
    };
    const QString siteCaption = QStringLiteral("Введите данные");
    const QString classroomCaption = QStringLiteral("Заполните поле");
    const auto siteAndSubject = [&] {
        chooseSite("0001 Школа №1");
        chooseSubject(2);
    };
    const std::vector<Case> cases = {
        {"nothing entered", [] {}, siteMessage, siteCaption, SetupControlId::SiteBox},
        {"four characters typed, not all digits", [&] { typeManualSite("12a4"); }, siteMessage,
         siteCaption, SetupControlId::SiteBox},
        {"three digits typed", [&] { typeManualSite("123"); }, siteMessage, siteCaption,
         SetupControlId::SiteBox},
        {"full-width digits typed",
         [&] {
             chooseSite(manualItem);
             QTest::sendKeyEvent(QTest::Click, manualSite(), Qt::Key_unknown,
                                 QStringLiteral("１２３４"), Qt::NoModifier);
         },
         siteMessage, siteCaption, SetupControlId::SiteBox},
        {"site 0000 typed", [&] { typeManualSite("0000"); }, siteMessage, siteCaption,
         SetupControlId::SiteBox},
        {"site item without digits", [&] { chooseSite("abcd Лицей"); }, siteMessage, siteCaption,
         SetupControlId::SiteBox},
        {"no subject",
         [&] {
             chooseSite("0001 Школа №1");
             QTest::keyClicks(classroom(), "7");
         },
         "Выберите предмет из списка", "", SetupControlId::Confirm},
        {"classroom 7",
         [&] {
             siteAndSubject();
             QTest::keyClicks(classroom(), "7");
         },
         classroomLengthMessage, classroomCaption, SetupControlId::Classroom},
        {"pasted classroom 1a2",
         [&] {
             siteAndSubject();
             QGuiApplication::clipboard()->setText("1a2");
             QTest::keyClick(classroom(), Qt::Key_V, Qt::ControlModifier);
         },
         classroomDigitsMessage, classroomCaption, SetupControlId::Classroom},
        {"classroom 000",
         [&] {
             siteAndSubject();
             QTest::keyClicks(classroom(), "000");
         },
         classroomDigitsMessage, classroomCaption, SetupControlId::Classroom},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        reopen();
        showAndWait();
        refused.input();
        const QString manualBefore = manualSite()->text();
        const QString classroomBefore = classroom()->text();
        boxes.clear();
        confirmButton()->setFocus();
        QTest::mouseClick(confirmButton(), Qt::LeftButton);

        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], (Box{refused.text, refused.caption, MessageIcon::Exclamation}));
        EXPECT_EQ(dialog().focusWidget(), dialog().control(refused.focus));
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_EQ(manualSite()->text(), manualBefore);
        EXPECT_EQ(classroom()->text(), classroomBefore);
    }
}

TEST_F(SessionSetupDialogTest, ClassroomTakesDigitKeysOnly) {
    QTest::keyClicks(classroom(), "1a 2-3");
    for (const QString& typed : {QStringLiteral("б"), QStringLiteral("٤")}) {
        QTest::sendKeyEvent(QTest::Click, classroom(), Qt::Key_unknown, typed, Qt::NoModifier);
    }
    EXPECT_EQ(classroom()->text(), "123");
}

TEST_F(SessionSetupDialogTest, EveryWayOfConfirmingStoresTheCodes) {
    const std::vector<std::function<void()>> ways = {
        [&] { QTest::mouseClick(confirmButton(), Qt::LeftButton); },
        [&] { QTest::keyClick(classroom(), Qt::Key_Return); },
        [&] { QTest::keyClick(subjects(), Qt::Key_Enter); },
        [&] {
            const QPoint item = subjects()->visualItemRect(subjects()->item(1)).center();
            QTest::mouseClick(subjects()->viewport(), Qt::LeftButton, {}, item);
            QTest::mouseDClick(subjects()->viewport(), Qt::LeftButton, {}, item);
        },
    };
    const QStringList subjectCodes = {"eng", "nem", "fra", "isp"};
    for (std::size_t way = 0; way < ways.size(); ++way) {
        SCOPED_TRACE(way);
        reopen();
        showAndWait();
        chooseSite("12345 Гимназия");
        chooseSubject(static_cast<int>(way));
        QTest::keyClicks(classroom(), "007");
        ways[way]();
        EXPECT_EQ(dialog().result(), QDialog::Accepted);
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_EQ(dialog().codes().site, "1234");
        EXPECT_EQ(dialog().codes().classroom, "007");
        // The double click chooses the subject it lands on.
        EXPECT_EQ(dialog().codes().subject, subjectCodes[way == 3 ? 1 : way]);
    }

    // A manual code of exactly four characters takes precedence over the site box.
    reopen();
    typeManualSite("9001");
    chooseSubject(3);
    QTest::keyClicks(classroom(), "999");
    dialog().accept();
    EXPECT_EQ(dialog().codes().site, "9001");
    EXPECT_EQ(dialog().codes().classroom, "999");
    EXPECT_EQ(dialog().codes().subject, "isp");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SessionSetupDialogTest, RunsModallyUntilConfirmedAfterARefusal) {
    QTimer::singleShot(0, &dialog(), [&] {
        dialog().accept();
        chooseSite(QStringLiteral("0001 Школа №1"));
        chooseSubject(0);
        QTest::keyClicks(classroom(), "007");
        confirmButton()->click();
    });
    EXPECT_EQ(dialog().exec(), QDialog::Accepted);
    EXPECT_EQ(dialog().codes().site, "0001");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, siteMessage);
}

TEST_F(SessionSetupDialogTest, EscapeAndAltF4AskAndNoLeavesTheDialogAsItWas) {
    showAndWait();
    typeManualSite("0042");
    QTest::keyClicks(classroom(), "12");
    chooseSubject(2);
    for (SetupControlId id :
         {SetupControlId::Confirm, SetupControlId::SubjectList, SetupControlId::Classroom,
          SetupControlId::SiteBox, SetupControlId::ManualSite}) {
        dialog().control(id)->setFocus();
        answerNext(MessageAnswer::No);
        QTest::keyClick(dialog().control(id), Qt::Key_Escape);
        answerNext(MessageAnswer::No);
        QTest::keyClick(dialog().control(id), Qt::Key_F4, Qt::AltModifier);
    }
    // The same while the site list is dropped down: the keys then go to the list's popup.
    siteBox()->showPopup();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    answerNext(MessageAnswer::No);
    QTest::keyClick(popup->windowHandle(), Qt::Key_Escape);
    answerNext(MessageAnswer::No);
    QTest::keyClick(popup->windowHandle(), Qt::Key_F4, Qt::AltModifier);
    siteBox()->hidePopup();
    dialog().reject();

    ASSERT_EQ(boxes.size(), 12u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i], (Box{"Выйти из программы?", i % 2 == 0 ? "ESC" : "ALT+F4",
                                 MessageIcon::Question, MessageButtons::YesNo}));
    }
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(manualSite()->text(), "0042");
    EXPECT_EQ(classroom()->text(), "12");
    EXPECT_EQ(subjects()->currentRow(), 2);
    EXPECT_EQ(siteBox()->currentIndex(), 0);
}

TEST_F(SessionSetupDialogTest, YesToLeavingOrTheCloseBoxEndsTheProcessWithStatusOne) {
    answerNext(MessageAnswer::Yes);
    EXPECT_EQ(exitStatusOf([&] { dialog().askToLeave("ESC"); }), 1);

    setExitHandler({});
    EXPECT_EXIT(
        {
            showAndWait();
            answerNext(MessageAnswer::Yes);
            QTest::keyClick(&dialog(), Qt::Key_Escape);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            showAndWait();
            answerNext(MessageAnswer::Yes);
            QTest::keyClick(siteBox(), Qt::Key_F4, Qt::AltModifier);
        },
        ::testing::ExitedWithCode(1), "");
    // No answer is scripted: a question here would be answered No and the dialog would stay.
    EXPECT_EXIT(
        {
            showAndWait();
            dialog().close();
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(SessionSetupDialogTest, BadSiteListsStillOpenTheDialog) {
    QByteArray binary(4096, '\0');
    for (qsizetype i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 131) % 256);
    }
    QByteArray manyLines;
    for (int i = 0; i < 100'000; ++i) {
        manyLines += QByteArray::number(1000 + i % 9000) + " site\n";
    }
    const std::vector<std::pair<QByteArray, qsizetype>> files = {
        {"", 0},
        {binary, 17},  // one line feed in each 256 bytes, then a last piece without one
        {"0001 \x98\x98\n0002 \x98", 2},
        {QByteArray(5'000'000, 'q'), (5'000'000 + 1022) / 1023},
        {manyLines, 100'000},
    };
    for (const auto& [content, items] : files) {
        SCOPED_TRACE(content.size());
        writeSiteList(content);
        reopen();
        showAndWait();
        EXPECT_EQ(siteBox()->count(), 1 + items);
        typeManualSite("0042");
        chooseSubject(0);
        QTest::keyClicks(classroom(), "101");
        dialog().accept();
        EXPECT_EQ(dialog().codes().site, "0042");
    }
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
