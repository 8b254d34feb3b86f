// A disk that fills during an answer. EXAM_DISK_FULL_LEAD_BLOCKS (how many blocks the exam runs
// before the answer) and EXAM_DISK_FULL_ANSWER_BLOCKS (how many the answer records before the
// ALL file is full) make the longer runs of tests/soak/disk-full.sh.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SoakSettings.h"
#include "WindowFixture.h"
#include "report/Checksum.h"
#include "support/Mp3Inspector.h"

namespace {

using exam_test::contentsOf;
namespace fs = std::filesystem;

constexpr const char* kFirstAnswer = "out/0123-001-eng_0000017.mp3";
constexpr const char* kSecondAnswer = "out/0123-001-eng_0000024.mp3";
constexpr double kBlockFrames = exam_test::kBlockBytes / exam_test::kBytesPerFrame;
// What the encoder keeps back or puts in front: one frame, and its delay.
constexpr double kEncoderSlack = 1152 + 576 + 529;

QString writeFailure(const std::string& file) {
    return QString::asprintf(
        "Ошибка записи файла %s. Запись может быть неполной. Проверьте место на диске.",
        file.c_str());
}

QString notSaved(const char* kim, const char* file) {
    return QString::asprintf(
        "Ответ с номером КИМ %s не сохранён: файл %s записан не полностью. Освободите место на "
        "диске и запишите ответ заново.",
        kim, file);
}

// The checksum list's line for `file` as it is on disk now.
QByteArray checksumLineOf(const std::string& file) {
    const std::vector<unsigned char> bytes = contentsOf(file);
    Checksum checksum;
    checksum.add(bytes);
    return QString::asprintf("%s;%x;%zu\r\n", fs::path(file).filename().c_str(), checksum.value(),
                             bytes.size())
        .toLatin1();
}

class DiskFullTest : public ScriptedCardTest {
protected:
    void SetUp() override {
        ScriptedCardTest::SetUp();
        window();
    }
    void TearDown() override {
        dialog.reset();
        if (!mountPoint.empty()) {
            ::umount2(mountPoint.c_str(), MNT_DETACH);
        }
        ScriptedCardTest::TearDown();
    }

    void block() { capture(pcm); }
    QString status() const { return text(ControlId::StatusLine); }
    // Stops the answer, lets the sink close it, listens and saves.
    void stopListenAndSave() {
        yes(ControlId::StopAnswer);
        block();
        ASSERT_TRUE(dialog->control(ControlId::Listen)->isEnabled());
        click(ControlId::Listen);
        click(ControlId::SaveAnswer);
    }
    void showStatement() {
        answerNext(MessageAnswer::No);
        click(ControlId::ShowStatement);
    }

    std::string mountPoint;
};

TEST_F(DiskFullTest, AFullAllFileIsToldInItsBlockWhileTheAnswerGoesOnAndNothingShortIsSaved) {
    const int leadBlocks = soakSetting("EXAM_DISK_FULL_LEAD_BLOCKS", 2);
    const int answerBlocks = soakSetting("EXAM_DISK_FULL_ANSWER_BLOCKS", 1);
    yes(ControlId::StartExam);
    for (int i = 0; i < leadBlocks; ++i) {
        block();
    }
    const std::string all = dialog->session().allFile.name();
    enterKim("0000017");
    yes(ControlId::RecordAnswer);
    const std::uintmax_t answerStartsAt = fs::file_size(all);
    block();
    const std::uintmax_t perBlock = fs::file_size(kFirstAnswer);
    ASSERT_GT(perBlock, 0u);

    // Room for `answerBlocks` more blocks and half of one: the ALL file, started first, meets
    // the limit while the answer file is `leadBlocks` blocks below it.
    const std::uintmax_t limitBytes = fs::file_size(all) + answerBlocks * perBlock + perBlock / 2;
    exam_test::FileSizeLimit limit(limitBytes);
    ASSERT_TRUE(limit.isSet());
    const auto full = [&](const std::string& file) { return fs::file_size(file) == limitBytes; };
    std::optional<std::uint64_t> answerDecoded;
    int blocks = 0;
    while (!full(kFirstAnswer) && blocks++ < answerBlocks + leadBlocks + 4) {
        block();
        SCOPED_TRACE(blocks);
        // Each file's failure is told in the block of its first failed write, and only once.
        EXPECT_EQ(told(writeFailure(all)), full(all) ? 1 : 0);
        EXPECT_EQ(told(writeFailure(kFirstAnswer)), full(kFirstAnswer) ? 1 : 0);
        if (full(all) && !full(kFirstAnswer)) {
            EXPECT_EQ(status(), writeFailure(all));
            const mp3::Stream answer = mp3::inspectFile(kFirstAnswer);
            EXPECT_EQ(answer.error, "");
            if (answerDecoded) {
                EXPECT_NEAR(static_cast<double>(answer.decodedSamples - *answerDecoded),
                            kBlockFrames, 1152);
            }
            answerDecoded = answer.decodedSamples;
        }
    }
    ASSERT_TRUE(full(kFirstAnswer));
    ASSERT_TRUE(answerDecoded) << "the answer file never recorded past the ALL file's end";
    EXPECT_EQ(status(), writeFailure(kFirstAnswer));

    // The ALL file holds the exam's stream up to the limit: what the answer has from its start.
    const std::vector<unsigned char> allBytes = contentsOf(all);
    const std::vector<unsigned char> answerBytes = contentsOf(kFirstAnswer);
    ASSERT_EQ(allBytes.size(), limitBytes);
    EXPECT_TRUE(std::equal(allBytes.begin() + static_cast<std::ptrdiff_t>(answerStartsAt),
                           allBytes.end(), answerBytes.begin()));

    stopListenAndSave();
    EXPECT_EQ(players.front(), std::string("library plays ") + kFirstAnswer);
    EXPECT_EQ(boxes.back().text, notSaved("0000017", kFirstAnswer));
    EXPECT_EQ(boxes.back().icon, MessageIcon::Stop);
    EXPECT_EQ(status(), notSaved("0000017", kFirstAnswer));

    // An answer that fits is recorded in full and saved without a word, the ALL file full.
    enterKim("0000024");
    yes(ControlId::RecordAnswer);
    block();
    stopListenAndSave();
    EXPECT_EQ(boxes.back().caption, "Buf playback");
    const mp3::Stream second = mp3::inspectFile(kSecondAnswer);
    EXPECT_EQ(second.error, "");
    EXPECT_TRUE(second.framesCoverInput());
    EXPECT_NEAR(static_cast<double>(second.decodedSamples), 2 * kBlockFrames, kEncoderSlack);

    yes(ControlId::EndExam);
    EXPECT_EQ(fs::file_size(all), limitBytes);
    EXPECT_EQ(told(writeFailure(all)), 1);
    EXPECT_EQ(told(writeFailure(kFirstAnswer)), 1);

    // The statement lists what is on disk: the short answer as it is, the full one.
    showStatement();
    QFile checksums("out/report_eng_0123-001.crc");
    ASSERT_TRUE(checksums.open(QIODevice::ReadOnly));
    EXPECT_EQ(checksums.readAll(), checksumLineOf(kFirstAnswer) + checksumLineOf(kSecondAnswer));
}

TEST_F(DiskFullTest, ARealFullDiskIsToldInTheBlockThatFillsItAndTheStatementWaitsForRoom) {
    mountPoint = fs::absolute("out").string();
    // Two blocks of the ALL file, then about one more of each file.
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=160k") != 0) {
        const int error = errno;
        mountPoint.clear();
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(error);
    }
    yes(ControlId::StartExam);
    block();
    block();
    const std::string all = dialog->session().allFile.name();
    enterKim("0000017");
    yes(ControlId::RecordAnswer);

    // Both files take the same bytes until the disk is full; the answer, written second, then
    // gets less than the ALL file in the block that fills it.
    bool filled = false;
    for (int blocks = 0; !filled && blocks < 10; ++blocks) {
        const std::uintmax_t allBefore = fs::file_size(all);
        const std::uintmax_t answerBefore = fs::file_size(kFirstAnswer);
        block();
        filled = fs::file_size(kFirstAnswer) - answerBefore < fs::file_size(all) - allBefore;
        EXPECT_EQ(told(writeFailure(kFirstAnswer)), filled ? 1 : 0);
    }
    ASSERT_TRUE(filled);
    block();
    EXPECT_EQ(told(writeFailure(all)), 1);
    EXPECT_EQ(told(writeFailure(kFirstAnswer)), 1);

    stopListenAndSave();
    EXPECT_EQ(boxes.back().text, notSaved("0000017", kFirstAnswer));
    yes(ControlId::EndExam);
    EXPECT_EQ(told(writeFailure(all)), 1);

    click(ControlId::ShowStatement);
    EXPECT_EQ(boxes.back().text, "Не могу создать файл отчёта");
    ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT, "size=1m"), 0)
        << std::strerror(errno);
    showStatement();
    QFile checksums("out/report_eng_0123-001.crc");
    ASSERT_TRUE(checksums.open(QIODevice::ReadOnly));
    EXPECT_EQ(checksums.readAll(), checksumLineOf(kFirstAnswer));
}

}  // namespace
