#pragma once

#include <QString>

#include <array>
#include <string_view>
#include <vector>

// An immutable set of UTF-16 code units. Membership of the 256 Latin-1 codes, which is
// what the byte scanners ask about on every byte, is one table look-up; the rare members
// above U+00FF are kept sorted and searched.
class CharacterSet {
public:
    CharacterSet() = default;
    static CharacterSet characterSetWithCharactersInString(std::u16string_view characters);
    // Tab to carriage return, space, U+0085 and the Unicode space and separator characters.
    static CharacterSet whitespaceAndNewlineCharacterSet();

    bool characterIsMember(char16_t character) const {
        return character < 256 ? m_latin1[character] : containsWide(character);
    }

private:
    bool containsWide(char16_t character) const;

    std::array<bool, 256> m_latin1{};
    std::vector<char16_t> m_wide;
};
