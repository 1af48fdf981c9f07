#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Eight bytes of text at a time: the loads and per-byte tests with which the scanners pass
// over runs of bytes without a branch per byte. "First" means first in text order.
class ByteWord {
public:
    static constexpr uint64_t LowSevenBits = 0x7F7F7F7F7F7F7F7FULL;
    static constexpr uint64_t HighBits = 0x8080808080808080ULL;

    static uint64_t load(const char *bytes) {
        uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
    // The high bit of exactly those bytes of word that equal byte.
    static uint64_t equalBytes(uint64_t word, unsigned char byte) {
        const uint64_t differences = word ^ (0x0101010101010101ULL * byte);
        return ~(((differences & LowSevenBits) + LowSevenBits) | differences | LowSevenBits);
    }
    // Index of the first byte of a non-zero word that has any bit set.
    static int firstMarked(uint64_t marks) {
        return (std::endian::native == std::endian::little ? std::countr_zero(marks)
                                                           : std::countl_zero(marks)) /
               8;
    }
    // The first count (0 to 8) bytes of word, the others cleared.
    static uint64_t firstBytes(uint64_t word, int count) {
        if (count >= 8) {
            return word;
        }
        const uint64_t all = ~uint64_t(0);
        return word & (std::endian::native == std::endian::little ? ~(all << (8 * count))
                                                                  : ~(all >> (8 * count)));
    }
    // Whether the first length (0 to 16) bytes at a and b are equal; sixteen bytes must be
    // readable at each.
    static bool equalShort(const char *a, const char *b, long length) {
        if (length <= 8) {
            return firstBytes(load(a) ^ load(b), int(length)) == 0;
        }
        return ((load(a) ^ load(b)) | (load(a + length - 8) ^ load(b + length - 8))) == 0;
    }
    // Whether the length bytes at a and b, both in a text that ends at end, are equal. Keys
    // are short: compared as two words where the text goes on far enough.
    static bool equalIn(const char *a, const char *b, long length, const char *end) {
        return length <= 16 && end - a >= 16 && end - b >= 16
                   ? equalShort(a, b, length)
                   : std::memcmp(a, b, size_t(length)) == 0;
    }
};
