#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "report/Checksum.h"
#include "report/FileDigest.h"

namespace {

// The checksum list's rule as a verifier elsewhere would write it: byte by byte, the short last
// word zero-filled, the shift done in 64 bits and cut back to 32.
std::uint32_t referenceChecksum(const std::vector<unsigned char>& bytes) {
    std::uint32_t sum = 0;
    std::uint64_t k = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 4, ++k) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 4 && at + b < bytes.size(); ++b) {
            word |= std::uint32_t{bytes[at + b]} << (8 * b);
        }
        const std::uint64_t index = k & 0xffffffffu;
        sum ^= word ^ static_cast<std::uint32_t>(index << (word % 4));
    }
    return sum;
}

std::vector<unsigned char> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<unsigned char> randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(count);
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    return bytes;
}

std::uint32_t checksumInChunks(const std::vector<unsigned char>& bytes, std::size_t chunk) {
    Checksum checksum;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        checksum.add(std::span(bytes).subspan(at, std::min(chunk, bytes.size() - at)));
    }
    return checksum.value();
}

TEST(ChecksumTest, HandComputedValuesOfShortFiles) {
    // Worked out on paper: word 1 of "abcde..." is 0x..65, whose low bits 1 shift index 1 to 2.
    const struct {
        std::string_view bytes;
        std::uint32_t checksum;
    } cases[] = {
        {"", 0x0},
        {"a", 0x61},
        {"ab", 0x6261},
        {"abc", 0x636261},
        {"abcd", 0x64636261},
        {"abcde", 0x64636206},
        {"abcdef", 0x64630406},
        {"abcdefg", 0x64040406},
        {"abcdefgh", 0x0c040406},
        {std::string_view("abcd\x03\0\0\0", 8), 0x6463626a},
        {std::string_view("abcd\x03\0\0\0\x02\0\0\0", 12), 0x64636260},
    };
    for (const auto& [bytes, expected] : cases) {
        Checksum checksum;
        checksum.add(bytesOf(bytes));
        EXPECT_EQ(checksum.value(), expected) << '"' << bytes << '"';
        EXPECT_EQ(referenceChecksum(bytesOf(bytes)), expected) << '"' << bytes << '"';
    }
}

TEST(ChecksumTest, AnyChunkingGivesTheReferenceValue) {
    for (const std::size_t size : {1u, 2u, 3u, 33u, 32'768u, 32'771u, 100'003u, 262'144u}) {
        const std::vector<unsigned char> bytes = randomBytes(size, static_cast<unsigned>(size));
        const std::uint32_t expected = referenceChecksum(bytes);
        for (const std::size_t chunk : {1u, 3u, 5u, 4'097u, 32'768u, 1u << 20}) {
            EXPECT_EQ(checksumInChunks(bytes, chunk), expected) << size << " in " << chunk;
        }
    }
}

TEST(ChecksumTest, VectorAndPortableWordLoopsAgreeAcrossIndexWrapAround) {
    const WordFold vector = vectorWordFold();
    if (vector == nullptr) {
        GTEST_SKIP() << "this processor has no vector word loop";
    }
    const std::vector<unsigned char> bytes = randomBytes(4 * 1'003, 11);
    for (const std::uint32_t firstIndex : {0u, 5u, 0xfffffff0u, 0x7ffffffdu}) {
        WordFoldState portable{0x12345678, firstIndex};
        WordFoldState vectorised = portable;
        portableWordFold()(bytes.data(), 1'003, portable);
        vector(bytes.data(), 1'003, vectorised);
        EXPECT_EQ(vectorised.sum, portable.sum) << firstIndex;
        EXPECT_EQ(vectorised.index, portable.index) << firstIndex;
    }
}

TEST(ChecksumTest, FileDigestReadsTheWholeFileOrNothing) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::vector<unsigned char> bytes = randomBytes(3 * 32'768 + 7, 3);
    QFile file(folder.filePath("answer.mp3"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    file.close();
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.mp3"));

    std::vector<unsigned char> buffer(32'768);
    const std::optional<FileDigest> digest = digestFile(file.fileName(), buffer);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->size, std::int64_t(bytes.size()));
    EXPECT_EQ(digest->checksum, referenceChecksum(bytes));
    EXPECT_FALSE(digestFile(folder.filePath("folder.mp3"), buffer));
}

}  // namespace
