#include "remap/RemapController.h"

namespace {

std::optional<std::u16string_view> textOf(const QString &name) {
    if (name.isNull()) return std::nullopt;
    return std::u16string_view(reinterpret_cast<const char16_t *>(name.utf16()),
                               size_t(name.size()));
}

}  // namespace

void RemapController::setSink(Sink sink) {
    m_sink = std::move(sink);
    if (m_sink) m_sink(m_state);
}

void RemapController::setRemapSwitch(bool on) {
    RemapState state = m_state;
    state.remapSwitch = on;
    publish(state);
}

void RemapController::setChatPauseEnabled(bool enabled) {
    RemapState state = m_state;
    state.chatPauseEnabled = enabled;
    publish(state);
}

void RemapController::setSlotCombos(const SlotCombos &combos) {
    RemapState state = m_state;
    state.slotTable = makeSlotTable(combos);
    publish(state);
}

void RemapController::setPairTable(std::span<const KeyPair> pairs) {
    RemapState state = m_state;
    state.pairTable = makePairTable(pairs);
    publish(state);
}

void RemapController::setFrontProcessName(const QString &name) {
    RemapState state = m_state;
    state.gameInFront = isGameName(textOf(name));
    publish(state);
}

void RemapController::publish(const RemapState &state) {
    if (state == m_state) return;
    m_state = state;
    if (m_sink) m_sink(m_state);
}
