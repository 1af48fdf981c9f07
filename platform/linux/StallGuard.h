#pragma once

// Lets the keyboards go when the tap's main thread stops beating, so that a stuck or stopped
// Velmora never takes the keyboard with it. The tap beats from its main thread; a guard that
// trips has let go (or has had the keyboards let go) and stays tripped until reset().
class StallGuard {
public:
    virtual ~StallGuard() = default;

    virtual void beat() = 0;
    // Whether anything is grabbed; a guard may ignore time spent with nothing grabbed.
    virtual void setArmed(bool armed) = 0;
    virtual bool tripped() const = 0;
    virtual void reset() = 0;
};
