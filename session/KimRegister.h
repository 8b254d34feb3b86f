// The register of valid KIM numbers: one flag for every number from 0 to 9,999,998, generated
// from the check-digit rule at session establishment and kept unchanged until the process ends.
#pragma once

#include <QStringView>
#include <cstddef>

class KimRegister {
public:
    static constexpr std::size_t tableSize = 9'999'999;

    // Returns `bytes` zero-filled bytes that std::free releases, or null when there are none.
    using Allocator = void* (*)(std::size_t bytes);

    // The C library's zero-filled allocation, the table's own.
    static void* allocateZeroed(std::size_t bytes);

    // Allocates and fills the process-wide table. Called once per run; returns false, and
    // leaves the register as it was, when the table cannot be allocated.
    static bool build(Allocator allocate = &allocateZeroed);

    // Whether the number `text` starts with is valid. The number is read as the C library reads
    // an integer: leading white space, an optional sign, then digits up to any other character;
    // no digits read as 0. False for every value outside the table, and before build().
    static bool contains(QStringView text);

    // The table itself, for checks of its contents; null before build().
    static const unsigned char* table();
};
