#include "json/NSCharacterSet_Extensions.h"

namespace {
const char16_t theCharacters[] = {0x000A, 0x000C, 0x000D, 0x0085, 0x2028, 0x2029};
}

CharacterSet linebreaksCharacterSet() {
    return CharacterSet::characterSetWithCharactersInString(
        std::u16string_view(theCharacters, std::size(theCharacters)));
}
