#include <iconv.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QWidget>
#include <string>

#include "RecorderTest.h"
#include "report/StatementCommand.h"
#include "report/StatementViewer.h"
#include "report/TransferStatement.h"
#include "session/KimRegister.h"

namespace {

const SessionCodes codes{"0042", "007", "eng"};
const QString statementPath = "out/report_eng_0042-007.htm";
const QString checksumPath = "out/report_eng_0042-007.crc";

// The expected bytes, converted by the C library rather than the code under test.
QByteArray cp1251(const std::string& utf8) {
    iconv_t convert = iconv_open("CP1251", "UTF-8");
    std::string in = utf8;
    std::string out(in.size(), '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t left = in.size();
    std::size_t room = out.size();
    const std::size_t converted = iconv(convert, &from, &left, &to, &room);
    iconv_close(convert);
    EXPECT_NE(converted, std::size_t(-1));
    return QByteArray(out.data(), qsizetype(out.size() - room));
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const std::string head =
    "<html>\r\n<style type=\"text/css\">\r\n"
    "body {FONT-FAMILY: Arial, Helvetica, Verdana; text-decoration: none; "
    "background-color:#fdfdff;margin:0;padding:0;}\r\n"
    "table { border-collapse: collapse ; border-color:#aaaaaa}\r\n"
    "td { text-align: center; padding:5px;}\r\n"
    "td.l { text-align: left}\r\n"
    "tr.ok { background-color:#ccffcc }\r\n"
    "tr.err { background-color:#ffcccc }\r\n"
    "tr.y { background-color:#eeeebb }\r\n"
    "td.little { font-size:8pt}\r\n"
    "</style>\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"><h3>\r\n"
    "КодППЭ: <font color=red>0042</font> &nbsp; &nbsp; &nbsp; &nbsp; &nbsp; КодАудитории: "
    "<font color=red>007</font> &nbsp; &nbsp; &nbsp; &nbsp; &nbsp; КодПредмета: "
    "<font color=red>eng</font><br>\r\n"
    "Ведомость передачи материалов из аудитории руководителю ППЭ\r\n"
    "</h3>\r\n<table border=1>\r\n"
    "<tr class=\"y\"><th> # <th> Имя файла <th> Размер файла <th> Номер КИМ <th> Примечание";
const std::string tail =
    "</table><br><h3><nobr>Ответственный организатор в аудитории ____________ / ____________ "
    "</nobr></h3></html>";

std::string row(int number, const std::string& name, int size, const std::string& notes) {
    return "<tr  class=\"" + std::string(notes == "&bull;" ? "ok" : "err") + "\"><td rowspan=1> " +
           std::to_string(number) + " <td class=\"l little\"><nobr>" + name + "</nobr><td> " +
           std::to_string(size) + "  <td rowspan=1> <b>" + name.substr(13, 7) +
           "</b> <td rowspan=1 class=\"l little\"> " + notes;
}

class TransferStatementTest : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        ASSERT_TRUE(KimRegister::build());
        ASSERT_TRUE(QDir().mkdir("out"));
        setProgramLauncher([this](const QString& program, const QStringList& arguments) {
            launches << QStringList{program} + arguments;
            return true;
        });
    }
    void TearDown() override {
        setProgramLauncher({});
        RecorderTest::TearDown();
    }
    static void put(const QString& name, const QByteArray& bytes = {}) {
        QFile file("out/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    // The button's run, the question answered No.
    void pressButton() {
        answerNext(MessageAnswer::No);
        showTransferStatement(nullptr, codes);
    }

    QList<QStringList> launches;
};

TEST_F(TransferStatementTest, FolderOfEveryFindingGivesBothFilesByteForByte) {
    put("0042-007-eng_0000000.mp3");
    put("0042-007-eng_1234565.mp3", "abcdefgh");
    ASSERT_TRUE(QFile::link("missing.mp3", "out/0042-007-fra_0000000.mp3"));
    put("0042-008-eng_1234565.mp3", "abcd");
    put("0042-008-nem_1234565.mp3", "abcde");
    ASSERT_TRUE(QDir().mkdir("out/0042-009-fra_0000000.mp3"));
    put("0043-001-eng_0000017.mp3", "abc");
    for (const char* ignored :
         {"ALL_0042-007-eng__2024-05-20_09-00-00.mp3", "report_eng_0042-007.htm",
          "report_eng_0042-007.crc", "0042-007-deu_1234565.mp3", "0042-007-eng_1234565.MP3",
          "0042-007-ENG_1234565.mp3", "0042-007-eng_123456.mp3", "0042-007-eng_12345650.mp3",
          "0042-07a-eng_1234565.mp3", "0042_007-eng_1234565.mp3", " 042-007-eng_1234565.mp3",
          ".exam-journal"}) {
        put(ignored, "ignored");
    }

    // Run twice: the second run replaces the first one's pair and lists neither.
    for (int run = 0; run < 2; ++run) {
        pressButton();
    }

    EXPECT_EQ(contentOf(checksumPath),
              "0042-007-eng_0000000.mp3;0;0\r\n"
              "0042-007-eng_1234565.mp3;c040406;8\r\n"
              "0042-007-fra_0000000.mp3;0;-1\r\n"
              "0042-008-eng_1234565.mp3;64636261;4\r\n"
              "0042-008-nem_1234565.mp3;64636206;5\r\n"
              "0042-009-fra_0000000.mp3;0;-1\r\n"
              "0043-001-eng_0000017.mp3;636261;3\r\n");
    const std::string dup = " дубль КИМ в ауд ";
    const std::string unreadable = " файл не читается <br>\r\n";
    const std::string subject = " предмет отличается <br>\r\n";
    const std::string notInRegister = " номер КИМ не найден в базе<br>\r\n";
    EXPECT_EQ(contentOf(statementPath),
              cp1251(head +
                     row(1, "0042-007-eng_0000000.mp3", 0,
                         dup + "0042-009 <br>\r\n" + notInRegister + " Пустой файл! <br>\r\n") +
                     row(2, "0042-007-eng_1234565.mp3", 8, dup + "0042-008 <br>\r\n") +
                     row(3, "0042-007-fra_0000000.mp3", -1,
                         unreadable + subject + dup + "0042-009 <br>\r\n" + notInRegister) +
                     row(4, "0042-008-eng_1234565.mp3", 4, dup + "0042-007 <br>\r\n") +
                     row(5, "0042-008-nem_1234565.mp3", 5, subject + dup + "0042-007 <br>\r\n") +
                     row(6, "0042-009-fra_0000000.mp3", -1,
                         unreadable + subject + dup + "0042-007 <br>\r\n" + notInRegister) +
                     row(7, "0043-001-eng_0000017.mp3", 3, "&bull;") + tail));
    // "Пустой" in windows-1251, as a check on the converter of this test itself.
    EXPECT_TRUE(contentOf(statementPath).contains("\xcf\xf3\xf1\xf2\xee\xe9"));
    EXPECT_EQ(QDir("out").entryList({"report_*"}, QDir::Files).size(), 2);
}

TEST_F(TransferStatementTest, AnswerNamesThatAreNotRegularFilesAreUnreadableAndNeverWaitedOn) {
    // The file layer's own test goes through every kind of name; a pipe stands for them here.
    ASSERT_EQ(::mkfifo("out/0042-007-eng_0000024.mp3", 0644), 0);
    ASSERT_EQ(writeTransferStatement(codes).status, StatementStatus::Written);
    EXPECT_EQ(contentOf(checksumPath), "0042-007-eng_0000024.mp3;0;-1\r\n");
    EXPECT_EQ(contentOf(statementPath).count(cp1251(" файл не читается ")), 1);
}

TEST_F(TransferStatementTest, FolderWithoutAnswersGivesTheHeaderAndAsksToOpen) {
    put("ALL_0042-007-eng__2024-05-20_09-00-00.mp3", "ALL");
    answerNext(MessageAnswer::Yes);
    showTransferStatement(nullptr, codes);

    EXPECT_EQ(contentOf(statementPath), cp1251(head + tail));
    EXPECT_EQ(contentOf(checksumPath), "");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              (Box{"Ведомость передачи материалов из аудитории руководителю ППЭ "
                   "сформирована. \n\n Открыть файл  out/report_eng_0042-007.htm ?",
                   "Ведомость сформирована", MessageIcon::Question, MessageButtons::YesNo}));
    ASSERT_EQ(launches.size(), 1);
    EXPECT_EQ(launches[0],
              QStringList({"xdg-open", QDir::current().absoluteFilePath(statementPath)}));

    pressButton();
    EXPECT_EQ(launches.size(), 1) << "No opens nothing";
}

TEST_F(TransferStatementTest, ViewerThatCannotStartIsReported) {
    setProgramLauncher([](const QString&, const QStringList&) { return false; });
    answerNext(MessageAnswer::Yes);
    showTransferStatement(nullptr, codes);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text,
              "Не удалось запустить программу просмотра xdg-open.\n\n"
              "Ведомость записана в файл out/report_eng_0042-007.htm");
    EXPECT_EQ(boxes[1].icon, MessageIcon::Stop);
}

TEST_F(TransferStatementTest, EveryFailureSaysSoAndAsksNothing) {
    const QString answer = "0042-007-eng_1234565.mp3";
    const QString statement = "report_eng_0042-007.htm";
    const QString checksums = "report_eng_0042-007.crc";
    const struct {
        const char* what;
        std::function<void()> prepare;
        SessionCodes codes;
        QString message;
        QStringList outAfter;  // what the folder holds afterwards
        bool statementLeftEmpty = false;
    } cases[] = {
        {"no out folder",
         [] { QDir("out").removeRecursively(); },
         codes,
         "Нет доступа к папке out",
         {}},
        {"out is a file",
         [] {
             QDir("out").removeRecursively();
             QFile("out").open(QIODevice::WriteOnly);
         },
         codes,
         "Нет доступа к папке out",
         {}},
        {"statement path is a folder",
         [] { QDir().mkdir(statementPath); },
         codes,
         "Не могу создать файл отчёта",
         {answer, statement}},
        {"checksum list path is a folder",
         [] { QDir().mkdir(checksumPath); },
         codes,
         "Не могу создать файл отчёта",
         {answer, checksums, statement},
         true},
        {"codes not shaped as the set-up gives them",
         [] {},
         {"0042", "../x", "eng"},
         "Не могу создать файл отчёта",
         {answer}},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.what);
        QDir("out").removeRecursively();
        QFile::remove("out");
        ASSERT_TRUE(QDir().mkdir("out"));
        put(answer, "abcd");
        failure.prepare();
        boxes.clear();

        showTransferStatement(nullptr, failure.codes);

        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], (Box{failure.message, "Ошибка", MessageIcon::Stop}));
        EXPECT_TRUE(launches.isEmpty());
        EXPECT_EQ(QDir("out").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                        QDir::Name),
                  failure.outAfter);
        if (failure.statementLeftEmpty) {
            EXPECT_EQ(contentOf(statementPath), "");
        }
    }
}

TEST_F(TransferStatementTest, ProgressDialogLeavesTheResultAsItIs) {
    for (int i = 0; i < 20; ++i) {
        put(QString::asprintf("0042-007-eng_%07d.mp3", 17 + i), QByteArray(1000 + i, char(i)));
    }
    ASSERT_EQ(writeTransferStatement(codes).status, StatementStatus::Written);
    const QByteArray statement = contentOf(statementPath);
    const QByteArray checksums = contentOf(checksumPath);

    QWidget window;
    StatementProgressDialog progress(&window, std::chrono::milliseconds(0));
    ASSERT_EQ(writeTransferStatement(codes, progress.progress()).status, StatementStatus::Written);
    EXPECT_TRUE(progress.wasShown());
    EXPECT_EQ(contentOf(statementPath), statement);
    EXPECT_EQ(contentOf(checksumPath), checksums);
}

}  // namespace
