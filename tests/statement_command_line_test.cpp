#include <sys/stat.h>
#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdio>

#include "ExamTestAudio.h"
#include "RecorderTest.h"
#include "app/ExamRecorderDialog.h"
#include "app/StartupChecks.h"
#include "audio/EncoderLibrary.h"
#include "exam/ExamJournal.h"
#include "exam/ExamSessionState.h"
#include "exam/Mp3FileSink.h"
#include "exam/RecordingEvents.h"
#include "platform/SingleInstanceLock.h"
#include "report/StatementCommandLine.h"
#include "report/StatementViewer.h"
#include "report/TransferCheckWindow.h"
#include "report/TransferStatement.h"
#include "session/KimRegister.h"

namespace {

struct ProgramRun {
    int status;
    QString out;
    QString err;
};

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class CommandLineTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        ASSERT_TRUE(QDir().mkdir("out"));
    }
    static void put(const QString& name, const QByteArray& bytes) {
        QFile file("out/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    // The built program in the working folder, with neither a display nor Qt's offscreen
    // platform: the command must not need either. Its runtime folder, where a recorder keeps
    // its single-instance lock, is the test's own.
    ProgramRun program(const QStringList& arguments) {
        QString folder = qEnvironmentVariable("EXAM_RECORDER_BIN_DIR");
        if (folder.isEmpty()) {
            folder = QCoreApplication::applicationDirPath();
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder.path());
        process.setProcessEnvironment(environment);
        process.start(folder + "/exam-recorder", arguments);
        if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "exam-recorder did not finish";
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QTemporaryDir runtimeFolder;
};

class StatementCommandLineTest : public CommandLineTest {
protected:
    void SetUp() override {
        CommandLineTest::SetUp();
        put("0042-007-eng_1234565.mp3", "abcdefgh");
        put("0042-007-eng_0000000.mp3", "");
        put("0042-008-nem_1234565.mp3", "abcde");
        put("0043-001-eng_0000017.mp3", "abc");
    }
};

TEST_F(StatementCommandLineTest, WritesTheButtonsFilesAndPrintsThePath) {
    // A recorder already running in this session holds its lock; the command does not need it.
    const SingleInstanceLock running =
        SingleInstanceLock::acquire(singleInstanceName, runtimeFolder.path().toStdString());
    ASSERT_TRUE(running.isHeld());

    const ProgramRun run = program({"--statement", "0042", "007", "eng"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "out/report_eng_0042-007.htm\n");
    EXPECT_EQ(run.err, "");
    const QByteArray statement = contentOf("out/report_eng_0042-007.htm");
    const QByteArray checksums = contentOf("out/report_eng_0042-007.crc");
    EXPECT_EQ(checksums,
              "0042-007-eng_0000000.mp3;0;0\r\n0042-007-eng_1234565.mp3;c040406;8\r\n"
              "0042-008-nem_1234565.mp3;64636206;5\r\n0043-001-eng_0000017.mp3;636261;3\r\n");

    ASSERT_TRUE(QFile::remove("out/report_eng_0042-007.htm"));
    ASSERT_TRUE(QFile::remove("out/report_eng_0042-007.crc"));
    ASSERT_TRUE(KimRegister::build());
    ExamRecorderDialog window;
    window.control<QLineEdit>(ControlId::SiteCode)->setText("0042");
    window.control<QLineEdit>(ControlId::ClassroomCode)->setText("007");
    window.control<QLineEdit>(ControlId::SubjectCode)->setText("eng");
    answerNext(MessageAnswer::No);
    window.control<QPushButton>(ControlId::ShowStatement)->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, &window);
    EXPECT_EQ(contentOf("out/report_eng_0042-007.htm"), statement);
    EXPECT_EQ(contentOf("out/report_eng_0042-007.crc"), checksums);
}

TEST_F(StatementCommandLineTest, BadCodesAndFailuresGoToStandardErrorWithStatusOne) {
    const QString badCodes =
        "exam-recorder: --statement ждёт три кода: ППЭ (4 цифры), аудитория (3 цифры) и "
        "предмет (eng, nem, fra или isp)\n";
    const struct {
        QStringList codes;
        QString err;
    } cases[] = {
        {{"042", "007", "eng"}, badCodes},
        {{"0042", "07a", "eng"}, badCodes},
        {{"0042", "007", "deu"}, badCodes},
        {{"0042", "007", "ENG"}, badCodes},
        {{"0042", "007"}, badCodes},
        {{"0042", "007", "eng", "extra"}, badCodes},
        {{"0042", "/../../x", "eng"}, badCodes},
        {{"0042\n", "007", "eng"}, badCodes},
        {{"0042", "008", "eng"}, "exam-recorder: Не могу создать файл отчёта\n"},
        {{"0042", "009", "eng"}, "exam-recorder: Нет доступа к папке out\n"},
    };
    ASSERT_TRUE(QDir().mkdir("out/report_eng_0042-008.htm"));
    for (const auto& [codes, err] : cases) {
        SCOPED_TRACE(codes.join(' ').toStdString());
        if (codes[1] == "009") {
            ASSERT_TRUE(QDir().rename("out", "elsewhere"));
        }
        const ProgramRun run = program(QStringList{"--statement"} + codes);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
    }
    EXPECT_EQ(QDir("elsewhere").entryList({"*.crc"}), QStringList());
}

TEST_F(StatementCommandLineTest, RegisterWithoutMemoryIsReported) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = runStatementCommandLine({"0042", "007", "eng"}, out, err,
                                               [](std::size_t) -> void* { return nullptr; });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::ftell(out), 0);
    std::rewind(err);
    char text[200] = {};
    std::fread(text, 1, sizeof text - 1, err);
    EXPECT_STREQ(text, "exam-recorder: не хватает памяти для таблицы допустимых номеров КИМ\n");
    EXPECT_FALSE(QFile::exists("out/report_eng_0042-007.htm"));
    std::fclose(out);
    std::fclose(err);
}

// The real launcher, with an xdg-open of our own first on the path that writes down what it got.
TEST_F(StatementCommandLineTest, ViewerGetsTheFileNameAsOneArgument) {
    QTemporaryDir tools;
    ASSERT_TRUE(tools.isValid());
    QFile script(tools.filePath("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.args.tmp\" && "
        "mv \"$0.args.tmp\" \"$0.args\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(tools.path()) + ":" + path);

    const QString name = "out/a b; touch pwned $(touch pwned2) `touch pwned3` & 'q\" |.htm";
    const bool started = openStatementInViewer(name);
    qputenv("PATH", path);

    ASSERT_TRUE(started);
    const QString record = tools.filePath("xdg-open.args");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(record); }, 30'000));
    EXPECT_EQ(QString::fromUtf8(contentOf(record)),
              "1\n" + QDir::current().absoluteFilePath(name) + "\n");
    EXPECT_EQ(QDir().entryList({"pwned*"}), QStringList());
}

// Chromium reads the page as windows-1251, as the organiser's browser will.
TEST_F(StatementCommandLineTest, BrowserShowsTheCyrillicTextAndEveryNote) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
    }
    ASSERT_EQ(program({"--statement", "0042", "007", "eng"}).status, 0);
    QProcess browser;
    browser.start(
        chromium,
        {"--headless", "--no-sandbox", "--disable-gpu", "--dump-dom",
         QUrl::fromLocalFile(QDir::current().absoluteFilePath("out/report_eng_0042-007.htm"))
             .toString()});
    ASSERT_TRUE(browser.waitForFinished(120'000));
    const QString page = QString::fromUtf8(browser.readAllStandardOutput());
    for (const char* text :
         {"КодППЭ:", "КодАудитории:", "КодПредмета:",
          "Ведомость передачи материалов из аудитории руководителю ППЭ", "Имя файла",
          "Размер файла", "Номер КИМ", "Примечание", "номер КИМ не найден в базе", "Пустой файл!",
          "дубль КИМ в ауд 0042-008", "дубль КИМ в ауд 0042-007", "предмет отличается", "•",
          "Ответственный организатор в аудитории"}) {
        EXPECT_TRUE(page.contains(QString::fromUtf8(text))) << text;
    }
}

// The sink's window, left unwatched: the folder below needs only the files.
class UnwatchedWindow final : public RecordingEvents {
public:
    void elapsedChanged(std::optional<std::int64_t>, std::uint64_t,
                        std::optional<std::int64_t>) override {}
    void answerStopped(std::uint64_t) override {}
    void answerClosed(std::uint64_t) override {}
    void writeFailed(const std::string& name) override { ADD_FAILURE() << name; }
    void captureProblem(const QString& text) override { ADD_FAILURE() << text.toStdString(); }
    void captureNotice(const QString& text) override { ADD_FAILURE() << text.toStdString(); }
};

// An out folder as a real exam leaves it: the ALL file, an answer of three blocks per KIM
// number cut from it by the exam's sink and encoder library, and the statement's lists.
void recordExam(const QStringList& kims) {
    ExamSessionState session;
    UnwatchedWindow window;
    ExamJournal journal([](const QString& text) { ADD_FAILURE() << text.toStdString(); });
    Mp3FileSink sink(session, window, journal, 0, EncoderLibrary::instance());
    ASSERT_TRUE(session.allFile.open("out/ALL_0042-007-eng__2026-06-01_06-00-00.mp3",
                                     RecordingFile::Mode::CreateNew));
    session.examRunning = true;
    std::size_t frames = 0;
    const auto block = [&] {
        const std::vector<std::byte> pcm = exam_test::tone(exam_test::kBlockBytes / 4, frames);
        frames += exam_test::kBlockBytes / 4;
        sink.onAudioData(pcm.data(), static_cast<std::uint32_t>(pcm.size()));
    };
    for (const QString& kim : kims) {
        ASSERT_TRUE(session.answer.open("out/0042-007-eng_" + kim.toStdString() + ".mp3", kim));
        block();
        block();
        ASSERT_TRUE(session.answer.requestStop());
        block();
    }
    session.examRunning = false;
    ASSERT_EQ(session.allFile.close(), WriteResult::Ok);
    ASSERT_TRUE(KimRegister::build());
    ASSERT_EQ(writeTransferStatement({"0042", "007", "eng"}).status, StatementStatus::Written);
}

using VerifyCommandLineTest = CommandLineTest;

TEST_F(VerifyCommandLineTest, RecordedExamMatchesAndEveryLaterChangeIsFound) {
    recordExam({"1234565", "2345671", "3456786"});
    const QString a = "0042-007-eng_1234565.mp3", b = "0042-007-eng_2345671.mp3",
                  c = "0042-007-eng_3456786.mp3";
    const QString list = "Список report_eng_0042-007.crc:\n";
    ProgramRun run = program({"--verify", "out"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, list + a + ": совпадает\n" + b + ": совпадает\n" + c + ": совпадает\n" +
                           "Итого: в списках 3, совпадают 3, отличаются 0, нет 0, не читаются 0, "
                           "не читались при составлении списка 0, нет в списках 0\n");
    EXPECT_EQ(run.err, "");

    // Listed by hand beside them: a FIFO that would hang a blocking open (it stands for every
    // name that is not a regular file), and a file unreadable when the list was made.
    ASSERT_EQ(::mkfifo("out/0042-007-eng_6789015.mp3", 0600), 0);
    put("report_eng_0042-007.crc", contentOf("out/report_eng_0042-007.crc") +
                                       "0042-007-eng_6789015.mp3;0;0\r\n"
                                       "0042-007-eng_7890121.mp3;0;-1\r\n");
    // One byte changed, one file cut short, one renamed out of the list.
    QFile changed("out/" + a);
    ASSERT_TRUE(changed.open(QIODevice::ReadWrite) && changed.seek(1000));
    const char byte = changed.read(1).at(0);
    ASSERT_TRUE(changed.seek(1000) && changed.putChar(static_cast<char>(byte ^ 0x10)));
    changed.close();
    const qint64 size = QFileInfo("out/" + b).size();
    ASSERT_TRUE(QFile::resize("out/" + b, size - 417));
    ASSERT_TRUE(QFile::rename("out/" + c, "out/0042-007-eng_4567893.mp3"));

    run = program({"--verify", "out"});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    const QString notAFile = ": это не обычный файл (папка, ссылка или устройство)\n";
    EXPECT_EQ(run.out, list + a + ": контрольная сумма отличается\n" + b +
                           QString(": размер отличается: в списке %1 байт, у файла %2 байт\n")
                               .arg(size)
                               .arg(size - 417) +
                           c + ": файла нет\n0042-007-eng_6789015.mp3" + notAFile +
                           "0042-007-eng_7890121.mp3: файл не читался, когда составлялся "
                           "список: сверить не с чем\n"
                           "Файлы ответов, которых нет в списках:\n"
                           "0042-007-eng_4567893.mp3: нет ни в одном списке\n"
                           "Итого: в списках 5, совпадают 0, отличаются 2, нет 1, не читаются 1, "
                           "не читались при составлении списка 1, нет в списках 1\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(VerifyCommandLineTest, BadUseAndUnusableListsGiveStatusTwoAndSayWhichLine) {
    const QString use =
        "exam-recorder: --verify ждёт одну папку с файлами ответов и списком контрольных сумм "
        "report_*.crc\n";
    const struct {
        QStringList arguments;
        QString err;
    } cases[] = {
        {{}, use},
        {{"out", "out"}, use},
        {{"missing"}, "exam-recorder: нет доступа к папке missing\n"},
        {{"out"}, "exam-recorder: в папке out нет списка контрольных сумм report_*.crc\n"},
    };
    for (const auto& [arguments, err] : cases) {
        const ProgramRun run = program(QStringList{"--verify"} + arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, err);
    }

    put("0042-007-eng_1234565.mp3", "abcd");
    put("report_eng_0042-007.crc",
        "0042-007-eng_1234565.mp3;64636261;4\r\n"
        "\r\n"
        "../0042-007-eng_1234565.mp3;64636261;4\r\n"
        "0042-007-eng_12345650000000000000000000000000000000.mp3;0;4\n"
        "report_eng_0042-007.htm;0;4\n"
        "0042-007-eng_2345671.mp3;64636261\n"
        "0042-007-eng_2345671.mp3;6463626x;4\n"
        "0042-007-eng_2345671.mp3;164636261;4\n"
        "0042-007-eng_2345671.mp3;0;9223372036854775808\n"
        "0042-007-eng_2345671.mp3;0;-2\n"
        "0042-007-eng_2345671.mp3;0;4;\n"
        "0042-007-eng_1234565.mp3;64636261;4");
    ASSERT_TRUE(QDir().mkdir("out/report_nem_0042-007.crc"));
    const ProgramRun run = program({"--verify", "out"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    const QString list = "exam-recorder: report_eng_0042-007.crc, строка ";
    const QString fields = ": нужны три поля через «;»: имя файла, контрольная сумма и размер\n";
    const QString hex = ": контрольная сумма - не шестнадцатеричное число из 1-8 цифр\n";
    EXPECT_EQ(run.err, list + "2: пустая строка\n" + list + "3: имя файла содержит путь\n" + list +
                           "4: имя файла длиннее 24 знаков\n" + list +
                           "5: имя файла не похоже на имя файла ответа\n" + list + "6" + fields +
                           list + "7" + hex + list + "8" + hex + list +
                           "9: размер слишком велик\n" + list +
                           "10: размер - не целое число байт и не -1\n" + list + "11" + fields +
                           list + "12: файл уже указан в строке 1\n" +
                           "exam-recorder: report_nem_0042-007.crc: это не обычный файл\n");
}

TEST_F(VerifyCommandLineTest, WindowShowsFailuresFirstInTheStatementsColoursAndTheTotal) {
    put("0042-007-eng_1234565.mp3", "abcd");
    put("0042-007-eng_2345671.mp3", "abcdefgh");
    put("0042-007-eng_4567893.mp3", "abc");
    put("report_eng_0042-007.crc",
        "0042-007-eng_1234565.mp3;64636261;4\r\n0042-007-eng_2345671.mp3;c040406;4\r\n"
        "0042-007-eng_3456786.mp3;0;-1\r\n");
    TransferCheckWindow window;
    window.checkFolder("out");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isChecking(); }, 30'000));

    const auto* table = window.findChild<QTableWidget*>();
    const QString red = "#ffcccc", green = "#ccffcc", list = "report_eng_0042-007.crc";
    const QStringList expected[] = {
        {"0042-007-eng_2345671.mp3", "размер отличается: в списке 4 байт, у файла 8 байт", list,
         red},
        {"0042-007-eng_3456786.mp3", "файл не читался, когда составлялся список: сверить не с чем",
         list, red},
        {"0042-007-eng_4567893.mp3", "нет ни в одном списке", "", red},
        {"0042-007-eng_1234565.mp3", "совпадает", list, green},
    };
    ASSERT_EQ(table->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(table->item(row, column)->text(), expected[row][column]);
            EXPECT_EQ(table->item(row, column)->background().color().name(), expected[row][3]);
        }
    }
    EXPECT_EQ(window.findChild<QLabel*>("total")->text(),
              "Итого: в списках 3, совпадают 1, отличаются 1, нет 0, не читаются 0, не читались "
              "при составлении списка 1, нет в списках 1");
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
