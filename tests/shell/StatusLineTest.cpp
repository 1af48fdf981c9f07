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
    const char *wc = "Warcraft III";
    const struct {
        StatusLine::State state;
        Mode mode;
        const char *button;  // after "&Remapping is "
        const char *line;    // the first line, after the switch's part
    } cases[] = {
        // Off: nobody watches the front application, so nothing is said of it.
        {state(false, Front::Process, "Warcraft III.ex"), Mode::Off, "OFF", "Remapping off"},
        {state(true, Front::Process, wc), Mode::Remapping, "ON — remapping in Warcraft III",
         "Warcraft III is in front: keys are remapped"},
        {state(true, Front::Process, "Warcraft III.ex"), Mode::Remapping, "ON — remapping",
         "Warcraft III is in front (Warcraft III.ex): keys are remapped"},
        {state(true, Front::Process, "warcraft iii.exe"), Mode::Waiting,
         "ON — waiting for Warcraft III", "In front: warcraft iii.exe — keys pass through"},
        {state(true, Front::NoWindow), Mode::Waiting, "ON — waiting",
         "No window in front — keys pass through"},
        {state(true, Front::UnknownProcess), Mode::Waiting, "ON — waiting",
         "In front: a window whose program cannot be told — keys pass through"},
        {state(true, Front::Unwatched), Mode::Waiting, "ON — waiting",
         "Front application unknown: no X server — keys pass through"},
        {state(true, Front::Process, wc, true), Mode::Waiting, "ON — paused for the chat",
         "Warcraft III is in front: keys pass through until the chat closes"},
        {state(true, Front::Process, wc, false, true), Mode::Waiting, "ON — but it cannot work",
         "Warcraft III is in front: keys pass through"},
    };
    for (const auto &c : cases) {
        const QString text = StatusLine::text(c.state), button = StatusLine::switchText(c.state);
        const QString first = text.section(QLatin1Char('\n'), 0, 0);
        EXPECT_EQ(StatusLine::mode(c.state), c.mode) << first.toStdString();
        EXPECT_TRUE(button.startsWith(QStringLiteral("&Remapping is ") + c.button))
            << button.toStdString();
        EXPECT_TRUE(first == QLatin1String(c.line) ||
                    first.endsWith(QStringLiteral(" — ") + c.line))
            << first.toStdString();
        // Only while it waits for the game does it name what it waits for.
        EXPECT_EQ(text.contains(QStringLiteral("whose name begins with “Warcraft III”")),
                  button.contains(QStringLiteral("waiting")))
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
