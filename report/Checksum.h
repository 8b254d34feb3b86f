// The checksum of an answer file in the checksum list: the file as 32-bit little-endian words
// w(k), each folded in as sum ^= w(k) ^ (k << (w(k) & 3)); a last word of 1 to 3 bytes is
// filled with zero bytes above the data. Verifiers elsewhere repeat exactly this rule.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Running state of the word loop: the sum so far and the index of the next word.
struct WordFoldState {
    std::uint32_t sum = 0;
    std::uint32_t index = 0;
};

// Folds `wordCount` whole words starting at `bytes` into `state`.
using WordFold = void (*)(const unsigned char* bytes, std::size_t wordCount, WordFoldState& state);

// The word loops the checksum can use: the portable one, and a vector one where the processor
// has one (null otherwise). Both give the same results; tests hold them to that.
WordFold portableWordFold();
WordFold vectorWordFold();

class Checksum {
public:
    // Takes the next bytes of the file. Chunks may be of any length: a word split between two
    // chunks is put together, so only the bytes and their order matter.
    void add(std::span<const unsigned char> bytes);

    // The checksum of the bytes added so far.
    std::uint32_t value() const;

private:
    WordFoldState state_;
    std::array<unsigned char, 4> partial_{};
    std::size_t partialCount_ = 0;
};
