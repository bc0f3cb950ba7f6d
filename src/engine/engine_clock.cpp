#include "engine/engine_clock.h"

#include "core/user_interface.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace tarvok {

namespace {

constexpr int32_t kDayMs = 86400000;

} // namespace

int32_t SystemEngineClock::TimeOfDayMs()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local {};
    localtime_r(&t, &local);
    const auto ms
        = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
        % 1000;
    return static_cast<int32_t>(
        ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
}

void SystemEngineClock::Wait(int32_t pMs, UserInterface& pUi)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pMs);
    while (std::chrono::steady_clock::now() < until) {
        pUi.Yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int32_t ElapsedMs(int32_t pEarlier, int32_t pLater)
{
    int32_t e = pLater - pEarlier;
    if (e < 0)
        e += kDayMs;
    return e;
}

} // namespace tarvok
