#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// Keys whose press went out as a keypad key and that are still held. Their repeats and
// their release go to the same keypad key whatever changed meanwhile (switch, front
// window, slot), so neither the keypad key nor the original key is left held down.
class RemappedPresses {
public:
    bool empty() const { return m_held.empty(); }
    std::optional<uint16_t> target(uint16_t keyCode) const;
    void remember(uint16_t keyCode, uint16_t targetKeyCode);
    void forget(uint16_t keyCode);

private:
    // {key code, target}; a handful of keys at most, so a flat list beats any map.
    std::vector<std::pair<uint16_t, uint16_t>> m_held;
};
