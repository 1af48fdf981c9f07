#pragma once

#include "platform/Result.h"

#include <QString>

#include <optional>

// Composes what Velmora says about itself in the window's status line and the tray's
// tooltip: the switch (and a chat pause), the application in front, and the keyboard tap,
// with what to do when the tap is unavailable. Plain values in, text out.
class StatusLine {
public:
    struct State {
        bool remapSwitch = false;
        bool chatPaused = false;
        // Set when the front application can be known; else why not.
        bool frontKnown = false;
        QString frontName;
        QString frontUnavailable;
        // The tap's own status while it runs; else why it could not be made.
        std::optional<Failure> tapFailure;
        QString tapStatus;
    };

    static QString text(const State &state);
    // The switch button's caption for the state it is in.
    static QString switchText(bool on);
    // What a person can do about a tap that could not be made; empty when there is nothing.
    static QString adviceFor(const Failure &failure);
};
