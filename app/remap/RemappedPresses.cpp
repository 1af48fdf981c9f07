#include "RemappedPresses.h"

#include <algorithm>

std::optional<uint16_t> RemappedPresses::target(uint16_t keyCode) const {
    const auto it = std::ranges::find(m_held, keyCode, &std::pair<uint16_t, uint16_t>::first);
    return it == m_held.end() ? std::nullopt : std::optional<uint16_t>(it->second);
}

void RemappedPresses::remember(uint16_t keyCode, uint16_t targetKeyCode) {
    forget(keyCode);
    m_held.emplace_back(keyCode, targetKeyCode);
}

void RemappedPresses::forget(uint16_t keyCode) {
    std::erase_if(m_held, [keyCode](const auto &held) { return held.first == keyCode; });
}
