#include "shell/StatusLine.h"

#include <QCoreApplication>

#include <cerrno>

namespace {

QString tr(const char *text) { return QCoreApplication::translate("StatusLine", text); }

QString switchLine(const StatusLine::State &state) {
    if (!state.remapSwitch) return tr("Remapping off");
    if (state.chatPaused) return tr("Remapping on, paused while you type in the chat");
    return tr("Remapping on");
}

QString frontLine(const StatusLine::State &state) {
    if (!state.frontKnown) return tr("Front application unknown: %1").arg(state.frontUnavailable);
    return tr("In front: %1").arg(state.frontName.isNull() ? tr("(none)") : state.frontName);
}

QString tapLines(const StatusLine::State &state) {
    if (!state.tapFailure) return tr("Keyboards: %1").arg(state.tapStatus);
    const QString why = tr("Cannot remap: %1").arg(state.tapFailure->message);
    const QString advice = StatusLine::adviceFor(*state.tapFailure);
    return advice.isEmpty() ? why : why + QLatin1Char('\n') + tr("To fix it: %1").arg(advice);
}

}  // namespace

QString StatusLine::text(const State &state) {
    return switchLine(state) + QStringLiteral(" — ") + frontLine(state) + QLatin1Char('\n') +
           tapLines(state);
}

QString StatusLine::switchText(bool on) {
    // Alt+R flips it from the keyboard.
    return on ? tr("&Remapping is ON — click to turn it off")
              : tr("&Remapping is OFF — click to turn it on");
}

QString StatusLine::adviceFor(const Failure &failure) {
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
