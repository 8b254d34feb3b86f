#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "RecorderTest.h"
#include "session/KimRegister.h"

namespace {

// The valid set straight from the check-digit rule: for every prefix 1 to 999,999, the prefix
// followed by its check digit.
const std::vector<unsigned char>& tableByPrefixRule() {
    static const std::vector<unsigned char> table = [] {
        std::vector<unsigned char> flags(KimRegister::tableSize);
        for (int prefix = 1; prefix <= 999'999; ++prefix) {
            int sum = 0;
            int rest = prefix;
            for (int fromRight = 0; fromRight < 6; ++fromRight, rest /= 10) {
                sum += (fromRight % 2 == 0 ? 3 : 1) * (rest % 10);
            }
            flags[10 * prefix + (10 - sum % 10) % 10] = 1;
        }
        return flags;
    }();
    return table;
}

class KimRegisterTest : public RecorderTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(KimRegister::build()); }
};

TEST_F(KimRegisterTest, HoldsExactlyTheNumbersOfTheCheckDigitRule) {
    const unsigned char* table = KimRegister::table();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::memcmp(table, tableByPrefixRule().data(), KimRegister::tableSize), 0);
    std::size_t set = 0;
    for (std::size_t i = 0; i < KimRegister::tableSize; ++i) {
        set += table[i] == 1 ? 1 : 0;
    }
    EXPECT_EQ(set, 999'999u);

    for (const char* valid : {"0000017", "0000024", "0000109", "1000009", "1234565", "9999992"}) {
        EXPECT_TRUE(KimRegister::contains(QString::fromLatin1(valid))) << valid;
    }
    for (const char* invalid : {"0000000", "1234560", "0999990", "9999999", "0000018"}) {
        EXPECT_FALSE(KimRegister::contains(QString::fromLatin1(invalid))) << invalid;
    }
}

TEST_F(KimRegisterTest, ReadsTheNumberAsTheCLibraryDoes) {
    EXPECT_TRUE(KimRegister::contains(u"\t\n\v\f\r 0000017"));
    // Only the C locale's white space and digits count.
    EXPECT_FALSE(KimRegister::contains(u"\u00a017"));
    EXPECT_FALSE(KimRegister::contains(u"\uff11\uff17"));

    // Every other reading is checked against the C library's own.
    const QStringList texts = {" 17",         "+17",         "-17",     "17abc",     "",
                               "abc",         "99999999999", "9999992", "9999999",   "0000000",
                               "  -0000017x", "00000000017", "1e7",     "0x11",      "1234565",
                               "+ 17",        "10000009",    "-0",      "\t1000009", "999999"};
    for (const QString& text : texts) {
        const QByteArray bytes = text.toLatin1();
        errno = 0;
        const long value = std::strtol(bytes.constData(), nullptr, 10);
        const bool expected = errno == 0 && value >= 0 &&
                              value < static_cast<long>(KimRegister::tableSize) &&
                              tableByPrefixRule()[value] == 1;
        EXPECT_EQ(KimRegister::contains(text), expected) << text.toStdString();
    }
}

TEST_F(KimRegisterTest, WithoutMemoryTheBuildFailsAndKeepsTheTableItHad) {
    EXPECT_FALSE(KimRegister::build([](std::size_t) -> void* { return nullptr; }));
    EXPECT_TRUE(KimRegister::contains(u"1234565"));
}

}  // namespace
