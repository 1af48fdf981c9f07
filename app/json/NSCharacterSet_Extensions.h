#pragma once

#include "json/CharacterSet.h"

// A new set of the six line-ending characters: line feed, form feed, carriage return,
// next line (U+0085), line separator (U+2028) and paragraph separator (U+2029).
// Vertical tab is not one of them.
CharacterSet linebreaksCharacterSet();
