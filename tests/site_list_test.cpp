#include <gmock/gmock.h>

#include <QFile>

#include "RecorderTest.h"
#include "session/SiteList.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// "Школа 5" in windows-1251.
const QByteArray school1251("\xd8\xea\xee\xeb\xe0 5");

std::optional<QString> noConverter(QByteArrayView) {
    return std::nullopt;
}

QStringList itemsOf(const QByteArray& content) {
    return SiteList::itemsOf(content).value();
}

TEST(SiteListTest, CutsTheFileIntoPiecesAsALineReadDoes) {
    EXPECT_THAT(itemsOf("0001 A\n\n0002 B\n"), ElementsAre("0001 A", "", "0002 B"));
    EXPECT_THAT(itemsOf("0001 A\n0002 last"), ElementsAre("0001 A", "0002 last"));
    EXPECT_THAT(itemsOf("\n"), ElementsAre(""));
    EXPECT_THAT(itemsOf(""), IsEmpty());
    EXPECT_THAT(itemsOf("0001 A\r\n0002 B\r\n"), ElementsAre("0001 A", "0002 B"));
    EXPECT_THAT(itemsOf("0001 A\r0002 B"), ElementsAre("0001 A\r0002 B"));

    const QByteArray full(SiteList::maxPieceLength, 'x');
    EXPECT_THAT(itemsOf(full + "\n0003"), ElementsAre(QString(full), "", "0003"));
    EXPECT_THAT(itemsOf(full.left(1022) + "\n"), ElementsAre(QString(full.left(1022))));
    const QStringList long2500 = itemsOf(QByteArray(2500, 'y') + "\n0004\n");
    ASSERT_EQ(long2500.size(), 4);
    EXPECT_EQ(long2500[0].size(), 1023);
    EXPECT_EQ(long2500[1].size(), 1023);
    EXPECT_EQ(long2500[2].size(), 454);
    EXPECT_EQ(long2500[3], "0004");
}

TEST(SiteListTest, ReadsWindows1251AndUtf8MadeOnLinux) {
    const QString school = QStringLiteral("Школа 5");
    EXPECT_THAT(itemsOf("0001 " + school1251 + "\n"), ElementsAre("0001 " + school));
    EXPECT_THAT(itemsOf("0001 " + school.toUtf8() + "\n"), ElementsAre("0001 " + school));
    EXPECT_THAT(itemsOf("\xef\xbb\xbf"
                        "0001 " +
                        school.toUtf8()),
                ElementsAre("0001 " + school));

    // UTF-8 up to a character cut off at the end is not UTF-8.
    EXPECT_THAT(itemsOf("0001 School \xdf"), ElementsAre(QStringLiteral("0001 School Я")));

    // A long windows-1251 line is cut by characters, which are its bytes.
    const QByteArray cyrillic1251(1500, '\xe0');
    const QStringList pieces = itemsOf(cyrillic1251);
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces[0], QString(1023, QChar(u'а')));
    EXPECT_EQ(pieces[1], QString(477, QChar(u'а')));
    // A UTF-8 line is cut by characters too, never inside one.
    const QStringList utf8Pieces = itemsOf(QString(1500, QChar(u'ж')).toUtf8());
    ASSERT_EQ(utf8Pieces.size(), 2);
    EXPECT_EQ(utf8Pieces[0], QString(1023, QChar(u'ж')));
    const QStringList emojiPieces = itemsOf(QString(1022, 'e').toUtf8() + "\xf0\x9f\x98\x80z");
    ASSERT_EQ(emojiPieces.size(), 2);
    EXPECT_EQ(emojiPieces[0], QString(1022, 'e') + QString::fromUtf8("\xf0\x9f\x98\x80"));
    EXPECT_EQ(emojiPieces[1], "z");
}

TEST(SiteListTest, BinaryAndInvalidBytesGiveItemsWithoutBreakingAnything) {
    // 0x98 is the one byte windows-1251 leaves undefined; 0xc0 0x20 is not UTF-8.
    const QStringList mixed = itemsOf("0001 \x98\xc0 \x01\x7f\n0002 \xff\xfe\n");
    ASSERT_EQ(mixed.size(), 2);
    EXPECT_TRUE(mixed[0].startsWith("0001 "));
    EXPECT_TRUE(mixed[1].startsWith("0002 "));
    EXPECT_THAT(itemsOf(QByteArray("0003 ab\0cd\n0004", 15)), ElementsAre("0003 ab", "0004"));

    QByteArray binary(256 * 64, '\0');
    for (qsizetype i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 37) % 256);
    }
    const QStringList items = itemsOf(binary);
    EXPECT_FALSE(items.isEmpty());
    for (const QString& item : items) {
        EXPECT_LE(item.size(), SiteList::maxPieceLength);
        EXPECT_FALSE(item.contains(QChar(u'\0')));
    }
}

class SiteListFileTest : public RecorderTest {
protected:
    void write(const QByteArray& content) {
        QFile file("ppe.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(content), content.size());
    }
};

TEST_F(SiteListFileTest, ReadsTheFileOrSaysItCannot) {
#ifdef _WIN32
    GTEST_SKIP() << "Qt makes shortcut files on Windows, not symbolic links";
#endif
    const SiteList missing("ppe.txt");
    EXPECT_FALSE(missing.isReadable());
    EXPECT_THAT(missing.items(), IsEmpty());

    write("");
    const SiteList empty("ppe.txt");
    EXPECT_TRUE(empty.isReadable());
    EXPECT_THAT(empty.items(), IsEmpty());

    write("0001 " + school1251 + "\r\n0002");
    const SiteList sites("ppe.txt");
    EXPECT_TRUE(sites.isReadable());
    EXPECT_THAT(sites.items(), ElementsAre(QStringLiteral("0001 Школа 5"), "0002"));
    // A list the organiser keeps elsewhere and links to is read like the file itself.
    ASSERT_TRUE(QFile::rename("ppe.txt", "sites.txt") && QFile::link("sites.txt", "ppe.txt"));
    EXPECT_EQ(SiteList("ppe.txt").items(), sites.items());

    // Without the converter its windows-1251 text needs, nothing of it is offered; UTF-8 and
    // ASCII need none.
    const SiteList withoutConverter("ppe.txt", noConverter);
    EXPECT_EQ(withoutConverter.status(), SiteList::Status::NoConverter);
    EXPECT_THAT(withoutConverter.items(), IsEmpty());
    write(QStringLiteral("0001 Школа 5\n").toUtf8());
    EXPECT_TRUE(SiteList("ppe.txt", noConverter).isReadable());
}

}  // namespace
