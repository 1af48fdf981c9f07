#pragma once

#include "platform/Result.h"

#include <QString>

#include <optional>

// Composes what Velmora says about itself in the window's status line, on the switch button
// and in the tray's tooltip: the switch (and a chat pause), whether the application in front
// counts as the game, and the keyboard tap, with what to do when the tap is unavailable.
// Plain values in, text out.
class StatusLine {
public:
    enum class Front {
        Unwatched,       // nothing can tell the front application; frontUnavailable says why
        NoWindow,        // no window is in front
        UnknownProcess,  // a window whose program cannot be told
        Process,         // frontName names the program
    };
    // What the switch button and the tray show.
    enum class Mode { Off, Waiting, Remapping };

    struct State {
        bool remapSwitch = false;
        bool chatPaused = false;
        Front front = Front::NoWindow;
        QString frontName;
        QString frontUnavailable;
        // The tap's own status while it runs; else why it could not be made.
        std::optional<Failure> tapFailure = std::nullopt;
        QString tapStatus;
        // The keyboard helper program is not where Velmora starts it from.
        bool helperMissing = false;
    };

    static bool gameInFront(const State &state);
    static Mode mode(const State &state);
    static QString text(const State &state);
    // The switch button's caption.
    static QString switchText(const State &state);
    // What a person can do about a tap that could not be made; empty when there is nothing.
    static QString adviceFor(const Failure &failure, bool helperMissing);
};
