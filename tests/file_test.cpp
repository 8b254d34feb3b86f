#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/FileName.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

const std::vector<unsigned char> kBytes{'a', 'b', 'c'};

void putBytes(const fs::path& path) {
    File file = File::open(path, File::Access::CreateNew);
    ASSERT_TRUE(file.write(kBytes) && file.close()) << path;
}

// What one open of a name makes of it: opened with the size seen, or refused for a reason.
enum class Outcome {
    Kept,     // opened, the 3 bytes there
    Empty,    // opened, nothing in it (made, or emptied)
    Missing,  // refused: nothing by that name
    NotFile,  // refused: not a regular file
    Refused,  // refused, for whatever reason
};

constexpr std::array kAccesses{File::Access::Read, File::Access::ReadThroughLinks,
                               File::Access::CreateNew, File::Access::Replace,
                               File::Access::Append};

struct Kind {
    const char* what;
    std::function<void(const fs::path& name, const fs::path& folder)> make;
    std::array<Outcome, kAccesses.size()> outcomes;  // in the order of kAccesses
};

Outcome outcomeOf(const File& file) {
    if (file.isOpen()) {
        return file.size() == 3   ? Outcome::Kept
               : file.size() == 0 ? Outcome::Empty
                                  : Outcome::Refused;
    }
    switch (file.error().kind) {
        case SystemError::Kind::Missing:
            return Outcome::Missing;
        case SystemError::Kind::NotARegularFile:
            return Outcome::NotFile;
        default:
            return Outcome::Refused;
    }
}

// The one file type on both systems: every kind of thing under a name, opened every way. Only
// a regular file is ever read or written, nothing is followed but by ReadThroughLinks, and no
// open empties a file by accident: not a link's target, not a hard link's other name.
TEST(FileTest, EveryKindOfNameOpenedEveryWay) {
    using enum Outcome;
    const std::vector<Kind> kinds{
        {"regular file",
         [](const fs::path& name, const fs::path&) { putBytes(name); },
         {Kept, Kept, Refused, Empty, Kept}},
        {"nothing",
         [](const fs::path&, const fs::path&) {},
         {Missing, Missing, Empty, Empty, Empty}},
        {"folder",
         [](const fs::path& name, const fs::path&) { fs::create_directory(name); },
         {NotFile, NotFile, Refused, NotFile, NotFile}},
        {"file with a second name",
         [](const fs::path& name, const fs::path& folder) {
             putBytes(folder / "other");
             fs::create_hard_link(folder / "other", name);
         },
         {Kept, Kept, Refused, Empty, Kept}},
#ifndef _WIN32
        {"link to a file",
         [](const fs::path& name, const fs::path& folder) {
             putBytes(folder / "other");
             fs::create_symlink("other", name);
         },
         {NotFile, Kept, Refused, NotFile, NotFile}},
        {"link to nothing",
         [](const fs::path& name, const fs::path&) { fs::create_symlink("other", name); },
         {NotFile, Missing, Refused, NotFile, NotFile}},
        {"pipe, never waited on",
         [](const fs::path& name, const fs::path&) { ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0); },
         {NotFile, NotFile, Refused, NotFile, NotFile}},
#endif
    };
    for (const Kind& kind : kinds) {
        for (std::size_t way = 0; way < kAccesses.size(); ++way) {
            SCOPED_TRACE(std::string(kind.what) + ", access " + std::to_string(way));
            QTemporaryDir temporary;
            const fs::path folder = filePath(temporary.path());
            const fs::path name = folder / "answer.mp3";
            kind.make(name, folder);

            EXPECT_EQ(outcomeOf(File::open(name, kAccesses[way])), kind.outcomes[way]);
            // Whatever stood beside the name keeps its bytes; a link's target is never made.
            if (fs::exists(fs::symlink_status(folder / "other"))) {
                EXPECT_EQ(File::open(folder / "other", File::Access::Read).size(), 3);
            }
        }
    }
}

TEST(FileTest, ReadsWritesAndAppendsInPlace) {
    QTemporaryDir folder;
    const fs::path answer = filePath(folder.filePath("answer.mp3"));
    {
        File created = File::open(answer, File::Access::CreateNew);
        ASSERT_TRUE(created.write(kBytes) && created.sync());
        EXPECT_EQ(created.size(), 3);
    }
    std::vector<unsigned char> read(8);
    File reader = File::open(answer, File::Access::Read);
    EXPECT_EQ(reader.readAt(1, read), 2);
    EXPECT_EQ(reader.read(read), 3);
    EXPECT_EQ(reader.read(read), 0);
    reader.close();

    for (const char* text : {"x", "y"}) {
        File journal = File::open(answer, File::Access::Append);
        ASSERT_TRUE(journal.write(std::span(reinterpret_cast<const unsigned char*>(text), 1)) &&
                    journal.sync());
    }
    EXPECT_EQ(File::open(answer, File::Access::Read).size(), 5);
}

// A folder that cannot be synced never refuses a file: the file is made, the failure kept for
// the caller to tell, and nothing is said of a file that was there before.
TEST(FileTest, AFolderThatCannotBeSyncedLeavesTheFileMadeAndSaysSo) {
    QTemporaryDir folder;
    const auto failing = [](const fs::path&) { return systemError(SystemError::Kind::Other, 5); };
    for (const File::Access access :
         {File::Access::CreateNew, File::Access::Replace, File::Access::Append}) {
        const fs::path name = filePath(folder.filePath("made.mp3"));
        File made = File::open(name, access, failing);
        ASSERT_TRUE(made.isOpen() && made.write(kBytes));
        EXPECT_EQ(made.folderSyncError().code, 5);
        made.close();
        if (access != File::Access::CreateNew) {
            EXPECT_FALSE(File::open(name, access, failing).folderSyncError().failed());
        }
        fs::remove(name);
    }
}

#ifdef _WIN32
// Another program may read a recording being written, but not take it away or write into it.
TEST(FileTest, AFileBeingWrittenCannotBeRenamedRemovedOrWrittenByAnother) {
    QTemporaryDir folder;
    const fs::path name = filePath(folder.filePath("ALL.mp3"));
    File writing = File::open(name, File::Access::CreateNew);
    ASSERT_TRUE(writing.write(kBytes) && writing.sync());
    std::error_code refused;
    fs::rename(name, filePath(folder.filePath("moved.mp3")), refused);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(fs::remove(name, refused));
    EXPECT_EQ(File::open(name, File::Access::Replace).error().kind,
              SystemError::Kind::HeldElsewhere);
    EXPECT_EQ(File::open(name, File::Access::Read).size(), 3);
    writing.close();
    EXPECT_TRUE(fs::remove(name));
}
#endif

}  // namespace
