#include "json/CharacterSet.h"

#include <algorithm>

CharacterSet CharacterSet::characterSetWithCharactersInString(std::u16string_view characters) {
    CharacterSet set;
    for (char16_t character : characters) {
        if (character < 256) {
            set.m_latin1[character] = true;
        } else {
            set.m_wide.push_back(character);
        }
    }
    std::sort(set.m_wide.begin(), set.m_wide.end());
    set.m_wide.erase(std::unique(set.m_wide.begin(), set.m_wide.end()), set.m_wide.end());
    return set;
}

CharacterSet CharacterSet::whitespaceAndNewlineCharacterSet() {
    static const CharacterSet set = characterSetWithCharactersInString(
        u"\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008"
        u"\u2009\u200A\u2028\u2029\u202F\u205F\u3000");
    return set;
}

bool CharacterSet::containsWide(char16_t character) const {
    return std::binary_search(m_wide.begin(), m_wide.end(), character);
}
