#include "json/TextBuilder.h"

#include <algorithm>

namespace {

char16_t *unitsOf(QString &text) { return reinterpret_cast<char16_t *>(text.data()); }

}  // namespace

void TextBuilder::grow(qsizetype count) {
    constexpr qsizetype InitialSize = 256;
    const qsizetype used = m_text.isNull() ? 0 : m_cursor - unitsOf(m_text);
    // Only the units written are carried over; QString grows its block geometrically, and
    // all of it is used.
    m_text.resize(used);
    m_text.resize(std::max(used + count, InitialSize));
    m_text.resize(m_text.capacity());
    char16_t *const begin = unitsOf(m_text);
    m_cursor = begin + used;
    m_limit = begin + m_text.size();
}

QString TextBuilder::take() {
    if (!m_text.isNull()) {
        m_text.resize(m_cursor - unitsOf(m_text));
    }
    m_cursor = m_limit = nullptr;
    return std::move(m_text);
}
