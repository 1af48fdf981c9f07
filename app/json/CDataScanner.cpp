#include "json/CDataScanner.h"

#include "json/Utf8Codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

CDataScanner::CDataScanner()
    : m_start(m_data.constData()), m_end(m_start), m_current(m_start),
      m_doubleCharacters(CharacterSet::characterSetWithCharactersInString(u"0123456789eE-.")) {}

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

bool CDataScanner::scanBytes(const char *bytes, size_t length) {
    if (size_t(m_end - m_current) < length || std::memcmp(m_current, bytes, length) != 0) {
        return false;
    }
    m_current += length;
    return true;
}

bool CDataScanner::scanUTF8String(const char *literal, QString *intoString) {
    const size_t length = std::strlen(literal);
    if (!scanBytes(literal, length)) {
        return false;
    }
    if (intoString) {
        *intoString = Utf8Codec::decode(literal, qsizetype(length));
    }
    return true;
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

// The value of a run whose numeric prefix lies outside the range of a double: strtod
// tells overflow (infinity) from underflow (zero or a denormal) with the right sign.
double outOfRangeValue(const char *first, const char *last) {
    const std::string prefix(first, last);
    return std::strtod(prefix.c_str(), nullptr);
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
