#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdio>

#include "RecorderTest.h"
#include "app/ExamRecorderDialog.h"
#include "app/StartupChecks.h"
#include "platform/SingleInstanceLock.h"
#include "report/StatementCommandLine.h"
#include "report/StatementViewer.h"
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

class StatementCommandLineTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        ASSERT_TRUE(QDir().mkdir("out"));
        put("0042-007-eng_1234565.mp3", "abcdefgh");
        put("0042-007-eng_0000000.mp3", "");
        put("0042-008-nem_1234565.mp3", "abcde");
        put("0043-001-eng_0000017.mp3", "abc");
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

}  // namespace
