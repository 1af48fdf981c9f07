#include "shell/StatusLine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using Front = StatusLine::Front;
using Mode = StatusLine::Mode;

StatusLine::State state(bool on, Front front, const char *name = "", bool paused = false,
                        bool tapFails = false) {
    StatusLine::State s{.remapSwitch = on,
                        .chatPaused = paused,
                        .front = front,
                        .frontName = QString::fromUtf8(name),
                        .frontUnavailable = QStringLiteral("no X server"),
                        .tapStatus = QStringLiteral("2 grabbed")};
    if (tapFails) s.tapFailure = Failure{QStringLiteral("no /dev/uinput"), ENOENT};
    return s;
}

// Whether the front application counts as the game, what the switch shows, and the line that
// says so; the prefix decides, letter case and all.
TEST(StatusLine, SaysWhetherTheGameIsInFrontAndWhatHappensToKeys) {
    const struct {
        StatusLine::State state;
        Mode mode;
        const char *button;  // follows "&Remapping is "
        const char *line;    // the first line, after the switch part
    } cases[] = {
        {state(false, Front::Process, "Warcraft III.ex"), Mode::Off, "OFF",
         "Warcraft III is in front (Warcraft III.ex)"},
        {state(true, Front::Process, "Warcraft III"), Mode::Remapping,
         "ON — remapping in Warcraft III", "Warcraft III is in front: keys are remapped"},
        {state(true, Front::Process, "Warcraft III.ex"), Mode::Remapping,
         "ON — remapping in Warcraft III",
         "Warcraft III is in front (Warcraft III.ex): keys are remapped"},
        {state(true, Front::Process, "warcraft iii.exe"), Mode::Waiting,
         "ON — waiting for Warcraft III", "In front: warcraft iii.exe — keys pass through"},
        {state(true, Front::Process, "firefox-esr"), Mode::Waiting,
         "ON — waiting for Warcraft III", "In front: firefox-esr — keys pass through"},
        {state(true, Front::NoWindow), Mode::Waiting, "ON — waiting for Warcraft III",
         "No window in front — keys pass through"},
        {state(true, Front::UnknownProcess), Mode::Waiting, "ON — waiting for Warcraft III",
         "In front: a window whose program cannot be told — keys pass through"},
        {state(true, Front::Unwatched), Mode::Waiting, "ON — waiting for Warcraft III",
         "Front application unknown: no X server — keys pass through"},
        {state(true, Front::Process, "Warcraft III", true), Mode::Waiting,
         "ON — paused for the chat",
         "Warcraft III is in front: keys pass through until the chat closes"},
        {state(true, Front::Process, "Warcraft III", false, true), Mode::Waiting,
         "ON — but it cannot work", "Warcraft III is in front: keys pass through"},
    };
    for (const auto &c : cases) {
        const QString text = StatusLine::text(c.state);
        const QString first = text.section(QLatin1Char('\n'), 0, 0);
        EXPECT_EQ(StatusLine::mode(c.state), c.mode) << first.toStdString();
        EXPECT_TRUE(StatusLine::switchText(c.state).startsWith(
            QStringLiteral("&Remapping is ") + QString::fromUtf8(c.button)))
            << StatusLine::switchText(c.state).toStdString();
        EXPECT_TRUE(first.endsWith(QStringLiteral(" — ") + QString::fromUtf8(c.line)))
            << first.toStdString();
        // Only while it waits for the game does it name what it waits for.
        const bool waitsForTheGame = c.mode == Mode::Waiting && !c.state.tapFailure &&
                                     !StatusLine::gameInFront(c.state);
        EXPECT_EQ(text.contains(QStringLiteral("whose name begins with “Warcraft III”")),
                  waitsForTheGame)
            << text.toStdString();
    }
}

TEST(StatusLine, AdviceFollowsWhatIsMissing) {
    const struct {
        int errorNumber;
        bool helperMissing;
        const char *advice;  // empty: none
    } cases[] = {
        {EACCES, false, "quit and start Velmora with Velmora Launcher"},
        {ENOENT, false, "load the uinput module"},
        {ENOENT, true, "put VelmoraBroker back beside Velmora"},
        {EIO, false, ""},
    };
    for (const auto &c : cases) {
        const QString advice =
            StatusLine::adviceFor({QStringLiteral("why"), c.errorNumber}, c.helperMissing);
        EXPECT_EQ(advice.isEmpty(), !*c.advice) << c.advice;
        EXPECT_EQ(advice.left(qsizetype(strlen(c.advice))), QString::fromUtf8(c.advice));
    }
    auto failing = state(true, Front::NoWindow, "", false, true);
    failing.helperMissing = true;
    EXPECT_TRUE(StatusLine::text(failing).endsWith(
        QStringLiteral("Cannot remap: no /dev/uinput\nTo fix it: ") +
        StatusLine::adviceFor(*failing.tapFailure, true)));
}

}  // namespace
