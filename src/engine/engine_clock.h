#pragma once

#include <cstdint>

namespace tarvok {

class UserInterface;

/// The engine's time source: time of day for the scrub timing and a wait that keeps the
/// window system alive. Tests drive both by hand.
class EngineClock {
public:
    virtual ~EngineClock() = default;
    /// Milliseconds since midnight, 0..86,399,999.
    virtual int32_t TimeOfDayMs() = 0;
    /// Waits about pMs milliseconds, yielding to the window system.
    virtual void Wait(int32_t pMs, UserInterface& pUi) = 0;
};

/// The clock of the running program.
class SystemEngineClock : public EngineClock {
public:
    int32_t TimeOfDayMs() override;
    void Wait(int32_t pMs, UserInterface& pUi) override;
};

/// Milliseconds from pEarlier to pLater on the time-of-day clock, across midnight.
int32_t ElapsedMs(int32_t pEarlier, int32_t pLater);

} // namespace tarvok
