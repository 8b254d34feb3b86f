#include <QDir>
#include <QFile>
#include <atomic>
#include <thread>

#include "RecorderTest.h"
#include "exam/ExamJournal.h"
#include "exam/InterruptedExam.h"

namespace {

// A journal in out/ written by the journal itself, one minute apart from 09:00 on.
class ExamJournalTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
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
    // Lost sound names the answer it fell in, which has its own lines.
    log.audioLost(330'750, {"out/ALL_2.mp3", 75, 80, "3333333", "out/a_3333333.mp3", 15, 20});
    log.answerStarted("4444444", "out/a_4444444.mp3");
    log.audioLost(22'050, {"out/ALL_2.mp3", 3'700, 3'702, {}, {}, 0, 0});
    appendRaw(
        "\xff\xfe\tначат экзамен\tALL_3.mp3\n2024-06-03 09:20:00\tпотеряна часть звука\n"
        "2024-06-03 09:1");
    ASSERT_TRUE(QFile("out/ALL_2.mp3").open(QIODevice::WriteOnly));

    std::optional<InterruptedExam> exam = findInterruptedExam("out");
    ASSERT_TRUE(exam.has_value());
    EXPECT_EQ(exam->allFile, "ALL_2.mp3");
    EXPECT_EQ(exam->lastEvent, minute(19));
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
    ASSERT_TRUE(QFile("out/ALL_1.mp3").open(QIODevice::WriteOnly));
    const std::optional<InterruptedExam> exam = findInterruptedExam("out");
    ASSERT_TRUE(exam.has_value());
    EXPECT_EQ(exam->allFile, "ALL_1.mp3");
    EXPECT_EQ(exam->kims, QStringList({"1111111"}));
}

TEST_F(ExamJournalTest, EndedLastExamOrItsAllFileGoneTellsNothing) {
    ExamJournal log = journal();
    log.examStarted("out/ALL_1.mp3");
    log.answerStarted("1111111", "out/a.mp3");
    ASSERT_TRUE(QFile("out/ALL_1.mp3").open(QIODevice::WriteOnly));
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
    // The file layer's own test goes through every kind of name; a link stands for them here.
    ASSERT_TRUE(QFile::link("elsewhere", examJournalPath));
    ExamJournal log = journal();
    log.examStarted("ALL.mp3");
    log.answerStarted("1234565", "a.mp3");
    EXPECT_FALSE(QFile::exists("out/elsewhere"));
    EXPECT_EQ(failures, QStringList({told}));
}

}  // namespace
