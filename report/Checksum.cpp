#include "report/Checksum.h"

#include <QtEndian>
#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CHECKSUM_HAS_AVX2_PATH 1
#endif

namespace {

std::uint32_t foldedWord(std::uint32_t word, std::uint32_t index) {
    return word ^ (index << (word & 3));
}

void foldPortable(const unsigned char* bytes, std::size_t wordCount, WordFoldState& state) {
    std::uint32_t sum = state.sum;
    std::uint32_t index = state.index;
    for (std::size_t i = 0; i < wordCount; ++i, ++index) {
        sum ^= foldedWord(qFromLittleEndian<std::uint32_t>(bytes + 4 * i), index);
    }
    state = {sum, index};
}

#ifdef CHECKSUM_HAS_AVX2_PATH
// Eight words at a time: XOR is associative, so each lane keeps a partial sum of its own.
// Loads are taken as little-endian, which x86 is.
__attribute__((target("avx2"))) void foldAvx2(const unsigned char* bytes, std::size_t wordCount,
                                              WordFoldState& state) {
    const std::size_t blocks = wordCount / 8;
    const __m256i eight = _mm256_set1_epi32(8);
    const __m256i lowBits = _mm256_set1_epi32(3);
    __m256i index = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(state.index)),
                                     _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    __m256i sums = _mm256_setzero_si256();
    for (std::size_t block = 0; block < blocks; ++block) {
        const __m256i words =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * block));
        const __m256i shifted = _mm256_sllv_epi32(index, _mm256_and_si256(words, lowBits));
        sums = _mm256_xor_si256(sums, _mm256_xor_si256(words, shifted));
        index = _mm256_add_epi32(index, eight);
    }
    const __m128i halves =
        _mm_xor_si128(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    const __m128i pairs = _mm_xor_si128(halves, _mm_shuffle_epi32(halves, 0x4e));
    const __m128i lanes = _mm_xor_si128(pairs, _mm_shuffle_epi32(pairs, 0xb1));
    state.sum ^= static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes));
    state.index += static_cast<std::uint32_t>(blocks * 8);
    foldPortable(bytes + 32 * blocks, wordCount % 8, state);
}
#endif

WordFold chosenWordFold() {
    static const WordFold fold = [] {
        const WordFold vector = vectorWordFold();
        return vector != nullptr ? vector : &foldPortable;
    }();
    return fold;
}

}  // namespace

WordFold portableWordFold() {
    return &foldPortable;
}

WordFold vectorWordFold() {
#ifdef CHECKSUM_HAS_AVX2_PATH
    if (__builtin_cpu_supports("avx2")) {
        return &foldAvx2;
    }
#endif
    return nullptr;
}

void Checksum::add(std::span<const unsigned char> bytes) {
    if (partialCount_ > 0) {
        const std::size_t taken = std::min(bytes.size(), partial_.size() - partialCount_);
        std::copy_n(bytes.begin(), taken, partial_.begin() + partialCount_);
        partialCount_ += taken;
        bytes = bytes.subspan(taken);
        if (partialCount_ < partial_.size()) {
            return;
        }
        foldPortable(partial_.data(), 1, state_);
        partialCount_ = 0;
    }
    const std::size_t wordCount = bytes.size() / 4;
    chosenWordFold()(bytes.data(), wordCount, state_);
    const auto rest = bytes.subspan(wordCount * 4);
    std::copy(rest.begin(), rest.end(), partial_.begin());
    partialCount_ = rest.size();
}

std::uint32_t Checksum::value() const {
    if (partialCount_ == 0) {
        return state_.sum;
    }
    std::array<unsigned char, 4> lastWord{};
    std::copy_n(partial_.begin(), partialCount_, lastWord.begin());
    WordFoldState last = state_;
    foldPortable(lastWord.data(), 1, last);
    return last.sum;
}
