#include "json/CDataScanner.h"

#include "json/ByteWord.h"
#include "json/Utf8Codec.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

CDataScanner::CDataScanner()
    : m_start(m_data.constData()), m_end(m_start), m_current(m_start),
      m_doubleCharacters(CharacterSet::characterSetWithCharactersInString(u"0123456789eE-.")) {}

namespace {

// How many of the sixteen bytes at text are spaces before the first other byte.
int leadingSpacesOfSixteen(const char *text) {
#ifdef __SSE2__
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))));
    return std::countr_zero(~spaces);
#else
    constexpr uint64_t EightSpaces = 0x2020202020202020ULL;
    const uint64_t first = ByteWord::load(text) ^ EightSpaces;
    if (first != 0) {
        return ByteWord::firstMarked(first);
    }
    const uint64_t second = ByteWord::load(text + 8) ^ EightSpaces;
    return second != 0 ? 8 + ByteWord::firstMarked(second) : 16;
#endif
}

}  // namespace

std::unique_ptr<CDataScanner> CDataScanner::scannerWithData(const QByteArray &data) {
    return makeScanner<CDataScanner>(data);
}

void CDataScanner::setData(const QByteArray &data) {
    if (m_data.isSharedWith(data)) {
        return;
    }
    m_data = data;
    m_start = m_data.constData();
    m_end = m_start + m_data.size();
    m_current = m_start;
}

void CDataScanner::skipWhitespaceRun() {
    // The caller saw one white-space byte; a lone one (as after a colon) is all there is
    // most of the time. Indented text has long runs of spaces: sixteen bytes at a time.
    const char *position = m_current + 1;
    while (m_end - position >= 16) {
        const int spaces = leadingSpacesOfSixteen(position);
        position += spaces;
        if (spaces < 16) {
            if (!isWhitespace(uchar(*position))) {
                m_current = position;
                return;
            }
            ++position;
        }
    }
    while (position < m_end && isWhitespace(uchar(*position))) {
        ++position;
    }
    m_current = position;
}

QString CDataScanner::textOf(const char *bytes, qsizetype length) {
    return Utf8Codec::decode(bytes, length);
}

bool CDataScanner::scanString(const QString &string, QString *intoString) {
    const QByteArray bytes = string.toUtf8();
    if (!scanBytes(bytes.constData(), size_t(bytes.size()))) {
        return false;
    }
    if (intoString) {
        *intoString = string;
    }
    return true;
}

qsizetype CDataScanner::runLength(const CharacterSet &set, bool member) const {
    const char *position = m_current;
    while (position < m_end && set.characterIsMember(uchar(*position)) == member) {
        ++position;
    }
    return position - m_current;
}

bool CDataScanner::scanRun(qsizetype length, QString *intoString) {
    if (length == 0) {
        return false;
    }
    if (intoString) {
        *intoString = Utf8Codec::decode(m_current, length);
    }
    m_current += length;
    return true;
}

bool CDataScanner::scanCharactersFromSet(const CharacterSet &set, QString *intoString) {
    return scanRun(runLength(set, true), intoString);
}

bool CDataScanner::scanUpToCharactersFromSet(const CharacterSet &set, QString *intoString) {
    return scanRun(runLength(set, false), intoString);
}

bool CDataScanner::scanUpToString(const QString &string, QString *intoString) {
    const QByteArray needle = string.toUtf8();
    const char *searchEnd = static_cast<const char *>(std::memchr(m_current, 0, m_end - m_current));
    const char *haystackEnd = searchEnd ? searchEnd : m_end;
    const char *found = std::search(m_current, haystackEnd, needle.cbegin(), needle.cend());
    if (found == haystackEnd && !needle.isEmpty()) {
        return false;
    }
    if (intoString) {
        *intoString = Utf8Codec::decode(m_current, found - m_current);
    }
    m_current = found;
    return true;
}

namespace {

bool isDigit(char byte) { return byte >= '0' && byte <= '9'; }

// Far beyond the decimal exponent of any double, and far from overflowing a qint64.
constexpr qint64 ExponentSaturation = qint64(1) << 40;

// The power of ten of the first significant digit of the mantissa at position (digits
// with at most one point), which it moves past; nothing when every digit is zero.
std::optional<qint64> mantissaMagnitude(const char *&position, const char *last) {
    qint64 digits = 0;
    qint64 integerDigits = -1;
    std::optional<qint64> firstSignificant;
    for (; position < last && (isDigit(*position) || *position == '.'); ++position) {
        if (*position == '.') {
            integerDigits = digits;
            continue;
        }
        if (!firstSignificant && *position != '0') {
            firstSignificant = digits;
        }
        ++digits;
    }
    if (!firstSignificant) {
        return std::nullopt;
    }
    return (integerDigits < 0 ? digits : integerDigits) - 1 - *firstSignificant;
}

// The exponent at position ('e' or 'E', an optional minus, digits), 0 when there is none.
qint64 exponentValue(const char *position, const char *last) {
    if (position == last || (*position != 'e' && *position != 'E')) {
        return 0;
    }
    ++position;
    const bool negative = position < last && *position == '-';
    position += negative;
    qint64 value = 0;
    for (; position < last && isDigit(*position); ++position) {
        value = std::min(value * 10 + (*position - '0'), ExponentSaturation);
    }
    return negative ? -value : value;
}

// The value of a decimal number text outside the range of a double. Nothing from about
// 1e-324 to 1e308 is out of range, so the place of the first significant digit tells
// overflow (infinity) from underflow (zero), whatever the process locale.
double outOfRangeValue(const char *first, const char *last) {
    const bool negative = *first == '-';
    const char *position = first + negative;
    const std::optional<qint64> magnitude = mantissaMagnitude(position, last);
    const bool overflow = magnitude && *magnitude + exponentValue(position, last) >= 0;
    const double value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

// The value of eight digits, the first in the lowest byte: three multiplications instead of
// eight steps.
uint64_t eightDigitsValue(uint64_t digits) {
    digits -= 0x3030303030303030ULL;
    digits = digits * 10 + (digits >> 8);
    constexpr uint64_t Mask = 0x000000FF000000FFULL;
    return (((digits & Mask) * 0x000F424000000064ULL) +
            (((digits >> 16) & Mask) * 0x0000271000000001ULL)) >>
           32;
}

bool areEightDigits(uint64_t bytes) {
    return ((bytes & 0xF0F0F0F0F0F0F0F0ULL) |
            (((bytes + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) ==
           0x3333333333333333ULL;
}

// Where a number of at most fifteen digits, with no fraction or exponent, ends, and in
// *value its value, which a double holds exactly: the common integers read without
// from_chars, which costs several times more. Null when the text goes on as a longer number.
// first is a digit, or a minus and a digit.
const char *shortIntegerEnd(const char *first, const char *last, double *value) {
    const bool negative = *first == '-';
    const char *position = first + negative;
    const char *const limit = position + std::min<std::ptrdiff_t>(last - position, 15);
    uint64_t magnitude = 0;
    if (std::endian::native == std::endian::little && limit - position >= 8 &&
        areEightDigits(ByteWord::load(position))) {
        magnitude = eightDigitsValue(ByteWord::load(position));
        position += 8;
    }
    for (; position < limit && isDigit(*position); ++position) {
        magnitude = magnitude * 10 + uint64_t(*position - '0');
    }
    if (position < last &&
        (isDigit(*position) || *position == '.' || *position == 'e' || *position == 'E')) {
        return nullptr;
    }
    *value = negative ? -double(magnitude) : double(magnitude);
    return position;
}

double numberPrefixValue(const char *first, const char *last) {
    double value = 0;
    const auto [end, status] = std::from_chars(first, last, value);
    if (status == std::errc::result_out_of_range) {
        return outOfRangeValue(first, end);
    }
    return status == std::errc() ? value : 0.0;
}

}  // namespace

bool CDataScanner::scanNumber(double *number) {
    // A number in its usual form (a digit or a minus and a digit first, no plus sign) that
    // no other number character follows is exactly the run of number characters: read
    // once, without measuring the run first.
    const bool usualStart = m_current < m_end &&
                            (isDigit(*m_current) ||
                             (*m_current == '-' && m_end - m_current > 1 && isDigit(m_current[1])));
    if (usualStart) {
        double value = 0;
        const char *end = shortIntegerEnd(m_current, m_end, &value);
        std::errc status{};
        bool plus = false;
        if (!end) {
            const std::from_chars_result read = std::from_chars(m_current, m_end, value);
            end = read.ptr;
            status = read.ec;
            plus = std::memchr(m_current, '+', size_t(end - m_current)) != nullptr;
        }
        const bool wholeRun = end == m_end || !m_doubleCharacters.characterIsMember(uchar(*end));
        if (wholeRun && !plus) {
            if (number) {
                *number = status == std::errc() ? value : outOfRangeValue(m_current, end);
            }
            m_current = end;
            return true;
        }
    }
    const qsizetype length = runLength(m_doubleCharacters, true);
    if (length == 0) {
        return false;
    }
    if (number) {
        *number = numberPrefixValue(m_current, m_current + length);
    }
    m_current += length;
    return true;
}

QString CDataScanner::remainingString() const {
    return Utf8Codec::decode(m_current, m_end - m_current);
}
