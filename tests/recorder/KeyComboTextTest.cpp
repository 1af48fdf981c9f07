#include <gtest/gtest.h>

#include "keymap/ModifierFlags.h"
#include "recorder/KeyComboText.h"

namespace {

using namespace ModifierFlags;

TEST(KeyComboText, NamesCombinationsAsLinuxDesktopsDo) {
    const struct {
        KeyCombo combo;
        const char *text;
    } cases[] = {
        {{0, 12}, "Q"},
        {{Shift, 0}, "Shift+A"},
        {{Control, 1}, "Ctrl+S"},
        {{Alternate, 2}, "Alt+D"},
        {{Shift | Control, 0}, "Ctrl+Shift+A"},
        {{Command | Shift | Alternate | Control, 0x60}, "Super+Ctrl+Alt+Shift+F5"},
        {{Control, 0x45}, "Ctrl+Keypad +"},
        {{0, 0x7B}, "Left"},
        {{0, 0x34}, "Key 52"},
        {{}, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(KeyComboText::format(c.combo), QString::fromUtf8(c.text));
        EXPECT_EQ(KeyComboText::parse(QString::fromUtf8(c.text)), c.combo) << c.text;
    }
}

// Whatever the recorder can hold, named keys or not, comes back from its text unchanged.
TEST(KeyComboText, EveryRecordableCombinationSurvivesItsText) {
    const uint64_t modifiers[] = {Shift, Control, Alternate, Command};
    for (int code = 0; code <= 0xFFFF; code += code < 0x100 ? 1 : 0x7F) {
        for (unsigned set = 0; set < 16; ++set) {
            KeyCombo combo{0, code};
            for (unsigned bit = 0; bit < 4; ++bit)
                if (set & (1u << bit)) combo.flags |= modifiers[bit];
            ASSERT_EQ(KeyComboText::parse(KeyComboText::format(combo)), combo)
                << KeyComboText::format(combo).toStdString();
        }
    }
}

TEST(KeyComboText, ReadsWhatAPersonTypesAndRefusesTheRest) {
    const struct {
        const char *text;
        std::optional<KeyCombo> combo;
    } cases[] = {
        {" ctrl + shift + q ", KeyCombo{Control | Shift, 12}},
        {"Control+Meta+keypad 4", KeyCombo{Control | Command, 86}},
        {"Key 12", KeyCombo{0, 12}},
        {"CapsLock", KeyCombo{0, 0x39}},
        {"shift+pageup", KeyCombo{Shift, 0x74}},
        {"Key12", KeyCombo{0, 12}},
        {"Hyper+Q", std::nullopt},
        {"Shift+", std::nullopt},
        {"Key 65536", std::nullopt},
        {"Q+Shift", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(KeyComboText::parse(QString::fromUtf8(c.text)), c.combo) << c.text;
}

}  // namespace
