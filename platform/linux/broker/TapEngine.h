#pragma once

#include "platform/linux/broker/KeyboardSource.h"
#include "platform/linux/broker/NumLockKeeper.h"
#include "platform/linux/broker/TapEvent.h"
#include "platform/linux/broker/TapOutput.h"

#include <array>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

// The tap's translation, free of devices and clocks: input_event records from any number of
// keyboards in; keys, a pointer's motion and their frames out through a TapOutput. Everything
// else a keyboard reports (scan codes, LED echoes) stays behind.
//
// Key presses, releases and repeats of keys the callback knows go through the callback;
// modifier keys and untranslatable keys pass straight through. Whatever was emitted for
// a press is what its release releases, so no output key outlives its physical key.
// Output keys are counted: several physical keys may hold one output key down.
//
// Remapped keypad keys need NumLock on to type digits; NumLockKeeper decides when the
// engine turns it on and when it hands it back. Whether remapping still applies is asked
// of the callback on tick(), with a release of the last slot key that was remapped, so
// that the per-key path asks nothing more than the callback itself.
class TapEngine {
public:
    enum class Verdict {
        Continue,
        // The source lost events; call resync() with its current key state.
        NeedsResync,
        // Backspace, Escape and Enter are held: everything has been released.
        Panic,
    };

    TapEngine(TapCallback callback, void *userInfo, TapOutput &output);

    // Starts tracking a keyboard; its events are ignored until then.
    void addSource(int source);
    // Releases whatever the keyboard holds and forgets it.
    void removeSource(int source);
    Verdict feed(int source, std::span<const input_event> events);
    // Brings what we think the source holds in line with what it holds.
    Verdict resync(int source, const KeyBits &keysDown);
    // Events the system wrote to the virtual keyboard (LEDs).
    void feedback(std::span<const input_event> events);
    // The LED state to start from, before the system has reported any.
    void seedLed(uint16_t led, bool on);
    // Called a few times a second: settles NumLock, and hands it back once remapping no
    // longer applies and no remapped keypad key is held.
    void tick();
    // For the watchdog thread: true when the caller must toggle NumLock off itself.
    bool takeBackNumLock() { return m_numLock.takeBack(); }
    bool numLockOn() const { return m_numLock.isOn(); }

    // Releases every output key, hands NumLock back and forgets all sources.
    void releaseAll();
    // Forgets all sources and output state without emitting: the device was reset.
    void forgetAll();
    // Tells the callback that the tap was switched off for stalling.
    void notifyDisabled();
    bool anyKeyHeld() const;

private:
    static constexpr uint16_t NoOutput = 0;
    static constexpr int NoSource = -1;

    struct HeldKey {
        uint16_t output = NoOutput;
        bool remapped = false;
    };
    struct Source {
        std::vector<input_event> pending;
        bool dropping = false;
        std::map<uint16_t, HeldKey> held;
    };
    struct Holder {
        int source = NoSource;
        uint16_t code = 0;
        bool operator==(const Holder &) const = default;
    };

    bool processFrame(int id, Source &source);
    // Returns true when the press completed the panic chord.
    bool handleKey(int id, Source &source, uint16_t code, int32_t value);
    bool press(int id, Source &source, uint16_t code);
    void release(int id, Source &source, uint16_t code);
    void repeat(int id, Source &source, uint16_t code);
    void releaseOutput(Holder holder, const HeldKey &key);
    uint16_t decide(uint32_t type, uint16_t code);
    uint64_t modifierFlags(uint16_t code) const;
    bool panicChordHeld() const;
    bool remappedKeypadHeld() const;
    bool stillRemapping();
    void giveBackNumLock();

    void emitKey(uint16_t code, int32_t value, bool remapped);
    void liftShift();
    void restoreShift();
    void pushShifts(int32_t value);
    void pushNumLockToggle();
    void push(uint16_t type, uint16_t code, int32_t value);
    void closeFrame();
    void flush();

    TapCallback m_callback;
    void *m_userInfo;
    TapOutput &m_output;

    std::unordered_map<int, Source> m_sources;
    std::array<uint16_t, KEY_CNT> m_physicalDown{};
    std::array<uint16_t, KEY_CNT> m_outputDown{};
    // The one physical key whose repeats an output key repeats with.
    std::array<Holder, KEY_CNT> m_repeatOwner{};

    std::vector<input_event> m_frame;
    std::vector<input_event> m_out;
    size_t m_frameStart = 0;

    NumLockKeeper m_numLock;
    // The evdev code of the slot key remapped last, to ask the callback about on tick().
    uint16_t m_lastSlotKey = 0;
    bool m_capsLock = false;
    // Shift is held back at the output while a remapped keypad key is down.
    bool m_shiftLifted = false;
};
