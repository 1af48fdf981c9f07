#include <gtest/gtest.h>

#include <vector>

#include "remap/RemapController.h"

namespace {

// What the window sets becomes one state each time something changes, and nothing else.
TEST(RemapController, SendsEachNewStateOnce) {
    RemapController controller;
    std::vector<RemapState> sent;
    controller.setSink([&](const RemapState &state) { sent.push_back(state); });
    ASSERT_EQ(sent.size(), 1u) << "the state so far, at once";
    controller.setRemapSwitch(true);
    controller.setRemapSwitch(true);
    controller.setFrontProcessName(QStringLiteral("Warcraft III.exe"));
    controller.setFrontProcessName(QStringLiteral("Warcraft III.exe"));
    controller.setChatPauseEnabled(true);
    controller.setSlotCombos({KeyCombo{0, 12}});
    const KeyPair pairs[] = {{{0, 0}, {0, 11}}};
    controller.setPairTable(pairs);
    controller.setFrontProcessName({});
    ASSERT_EQ(sent.size(), 7u);
    const RemapState &playing = sent[5];
    EXPECT_TRUE(playing.remapSwitch && playing.gameInFront && playing.chatPauseEnabled);
    EXPECT_EQ(playing.slotTable, makeSlotTable({KeyCombo{0, 12}}));
    EXPECT_EQ(playing.pairTable, makePairTable(pairs));
    EXPECT_FALSE(sent.back().gameInFront) << "no application in front";
    EXPECT_EQ(controller.state(), sent.back());
}

}  // namespace
