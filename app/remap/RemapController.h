#pragma once

#include "keymap/RemapDecision.h"

#include <QString>

#include <functional>
#include <span>

// The remapping as the window sets it, free of widgets: the switch, the chat option, the six
// slots, the pairs and the application in front. It turns them into the state the keyboard tap
// decides on (the game's name is told here, so no name leaves this process) and hands every new
// state to the sink, which sends it to the tap. Lives on the main thread.
class RemapController {
public:
    using Sink = std::function<void(const RemapState &)>;

    // Where states go from now on; it gets the current one at once.
    void setSink(Sink sink);
    const RemapState &state() const { return m_state; }

    bool remapSwitch() const { return m_state.remapSwitch; }
    void setRemapSwitch(bool on);
    void setChatPauseEnabled(bool enabled);
    void setSlotCombos(const SlotCombos &combos);
    // The pair list's rows, in order; only the complete ones remap (makePairTable).
    void setPairTable(std::span<const KeyPair> pairs);
    // A null name: no application in front.
    void setFrontProcessName(const QString &name);

private:
    void publish(const RemapState &state);

    RemapState m_state;
    Sink m_sink;
};
