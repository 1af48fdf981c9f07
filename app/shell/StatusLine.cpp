#include "shell/StatusLine.h"

#include "keymap/RemapDecision.h"
#include "platform/linux/BrokerProcess.h"

#include <QCoreApplication>

#include <cerrno>

namespace {

QString tr(const char *text) { return QCoreApplication::translate("StatusLine", text); }

QString gamePrefix() {
    return QString::fromUtf16(GameNamePrefix.data(), qsizetype(GameNamePrefix.size()));
}

QString switchLine(const StatusLine::State &state) {
    if (!state.remapSwitch) return tr("Remapping off");
    if (state.chatPaused) return tr("Remapping on, paused while you type in the chat");
    return tr("Remapping on");
}

// What happens to keys while the switch is on.
QString effect(const StatusLine::State &state) {
    if (StatusLine::mode(state) == StatusLine::Mode::Remapping) return tr("keys are remapped");
    if (state.chatPaused && StatusLine::gameInFront(state))
        return tr("keys pass through until the chat closes");
    return tr("keys pass through");
}

QString frontLine(const StatusLine::State &state) {
    const QString what = effect(state);
    const auto withEffect = [&](const QString &front, const QString &joint) {
        return front + joint + what;
    };
    const QString dash = QStringLiteral(" — ");
    switch (state.front) {
    case StatusLine::Front::Unwatched:
        return withEffect(tr("Front application unknown: %1").arg(state.frontUnavailable), dash);
    case StatusLine::Front::NoWindow:
        return withEffect(tr("No window in front"), dash);
    case StatusLine::Front::UnknownProcess:
        return withEffect(tr("In front: a window whose program cannot be told"), dash);
    case StatusLine::Front::Process:
        break;
    }
    if (!StatusLine::gameInFront(state))
        return withEffect(tr("In front: %1").arg(state.frontName), dash);
    QString game = tr("%1 is in front").arg(gamePrefix());
    if (state.frontName != gamePrefix()) game += QStringLiteral(" (%1)").arg(state.frontName);
    return withEffect(game, QStringLiteral(": "));
}

QString tapLines(const StatusLine::State &state) {
    if (!state.tapFailure) return tr("Keyboards: %1").arg(state.tapStatus);
    const QString why = tr("Cannot remap: %1").arg(state.tapFailure->message);
    const QString advice = StatusLine::adviceFor(*state.tapFailure, state.helperMissing);
    return advice.isEmpty() ? why : why + QLatin1Char('\n') + tr("To fix it: %1").arg(advice);
}

}  // namespace

bool StatusLine::gameInFront(const State &state) {
    return state.front == Front::Process &&
           isGameName(
               std::u16string_view(reinterpret_cast<const char16_t *>(state.frontName.utf16()),
                                   size_t(state.frontName.size())));
}

StatusLine::Mode StatusLine::mode(const State &state) {
    if (!state.remapSwitch) return Mode::Off;
    const bool working = !state.tapFailure && !state.chatPaused && gameInFront(state);
    return working ? Mode::Remapping : Mode::Waiting;
}

QString StatusLine::text(const State &state) {
    // While remapping is off nobody watches the front application, so nothing is said of it.
    QString text = state.remapSwitch ? switchLine(state) + QStringLiteral(" — ") + frontLine(state)
                                     : switchLine(state);
    if (mode(state) == Mode::Waiting && !state.tapFailure && !gameInFront(state))
        text += QLatin1Char('\n') +
                tr("Waiting for a program whose name begins with “%1”.").arg(gamePrefix());
    return text + QLatin1Char('\n') + tapLines(state);
}

QString StatusLine::switchText(const State &state) {
    // Alt+R flips it from the keyboard.
    switch (mode(state)) {
    case Mode::Off:
        return tr("&Remapping is OFF — click to turn it on");
    case Mode::Remapping:
        return tr("&Remapping is ON — remapping in %1").arg(gamePrefix());
    case Mode::Waiting:
        break;
    }
    if (state.tapFailure) return tr("&Remapping is ON — but it cannot work, see below");
    if (state.chatPaused && gameInFront(state)) return tr("&Remapping is ON — paused for the chat");
    return tr("&Remapping is ON — waiting for %1").arg(gamePrefix());
}

QString StatusLine::adviceFor(const Failure &failure, bool helperMissing) {
    // A missing helper program and a missing /dev/uinput both fail with "no such file".
    if (helperMissing)
        return tr("put %1 back beside Velmora (build or install Velmora again), then start "
                  "Velmora again.")
            .arg(BrokerProcess::ProgramName);
    switch (failure.errorNumber) {
    case EACCES:
    case EPERM:
        return tr(
            "quit and start Velmora with Velmora Launcher, which asks for the "
            "administrator password Velmora needs.");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return tr("load the uinput module: sudo modprobe uinput — then start Velmora again.");
    default:
        return {};
    }
}
