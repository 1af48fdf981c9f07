#pragma once

#include <cstdint>

// Modifier-flag bits of a key event, laid out as the remapping and the stored key
// combinations expect them.
namespace ModifierFlags {
// Device-independent bits.
constexpr uint64_t AlphaShift = 1ull << 16;  // caps lock
constexpr uint64_t Shift = 1ull << 17;
constexpr uint64_t Control = 1ull << 18;
constexpr uint64_t Alternate = 1ull << 19;  // Option / Alt
constexpr uint64_t Command = 1ull << 20;    // Super
constexpr uint64_t NumericPad = 1ull << 21;
constexpr uint64_t Function = 1ull << 23;
constexpr uint64_t DeviceIndependentMask = 0xFFFF0000ull;

// Device-dependent bits.
constexpr uint64_t LeftControl = 0x1;
constexpr uint64_t LeftShift = 0x2;
constexpr uint64_t RightShift = 0x4;
constexpr uint64_t LeftCommand = 0x8;
constexpr uint64_t RightCommand = 0x10;
constexpr uint64_t LeftAlternate = 0x20;
constexpr uint64_t RightAlternate = 0x40;
constexpr uint64_t RightControl = 0x2000;
// Set on every keyboard event.
constexpr uint64_t NonCoalesced = 0x100;
}  // namespace ModifierFlags
