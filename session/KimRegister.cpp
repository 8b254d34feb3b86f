#include "session/KimRegister.h"

#include <array>
#include <cstdlib>

#include "platform/UniqueHandle.h"

namespace {

void freeTable(unsigned char* table) {
    std::free(table);
}

using Table = UniqueHandle<unsigned char, freeTable>;

Table& processTable() {
    static Table table;
    return table;
}

constexpr int firstValidNumber = 17;
constexpr int lastValidNumber = 9'999'992;

// From one valid number to the next, by the count of trailing nines in its six-digit prefix:
// a check digit up to `lowCheckDigitLimit` steps by `lowStep`, any other by `otherStep`.
struct Step {
    int lowCheckDigitLimit;
    int lowStep;
    int otherStep;
};
constexpr std::array<Step, 7> stepsByTrailingNines = {{
    {2, 17, 7},
    {3, 16, 6},
    {6, 13, 3},
    {7, 12, 2},
    {0, 19, 9},
    {1, 18, 8},
    {1, 18, 8},
}};

int stepFrom(int number) {
    const int checkDigit = number % 10;
    int prefix = number / 10;
    std::size_t trailingNines = 0;
    while (prefix % 10 == 9 && trailingNines + 1 < stepsByTrailingNines.size()) {
        prefix /= 10;
        ++trailingNines;
    }
    const Step& step = stepsByTrailingNines[trailingNines];
    return checkDigit <= step.lowCheckDigitLimit ? step.lowStep : step.otherStep;
}

bool isCSpace(QChar c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// strtol's reading of `text`, except that any value beyond the table reads as -1: the caller
// only needs to know that it lies outside.
long long numberIn(QStringView text) {
    qsizetype at = 0;
    while (at < text.size() && isCSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        negative = text[at] == u'-';
        ++at;
    }
    long long value = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        value = value * 10 + (text[at].unicode() - u'0');
        if (value >= static_cast<long long>(KimRegister::tableSize)) {
            return -1;
        }
    }
    return negative ? -value : value;
}

void fill(unsigned char* table) {
    for (int number = firstValidNumber; number <= lastValidNumber; number += stepFrom(number)) {
        table[number] = 1;
    }
}

}  // namespace

void* KimRegister::allocateZeroed(std::size_t bytes) {
    return std::calloc(bytes, 1);
}

bool KimRegister::build(Allocator allocate) {
    auto* table = static_cast<unsigned char*>(allocate(tableSize));
    if (table == nullptr) {
        return false;
    }
    fill(table);
    processTable().reset(table);
    return true;
}

bool KimRegister::contains(QStringView text) {
    const unsigned char* flags = table();
    const long long number = numberIn(text);
    return flags != nullptr && number >= 0 && flags[number] == 1;
}

const unsigned char* KimRegister::table() {
    return processTable().get();
}
