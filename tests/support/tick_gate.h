#pragma once

#include <condition_variable>
#include <mutex>

namespace tarvok::test {

/// Counts ticks of a waiting client (an HTTP client's tick, a window's Yield) and lets a
/// local server's handler, on its own thread, hold its answer until the client has ticked
/// a number of times more: the test then knows the ticks came while the request was
/// outstanding, without sleeping. Opening the gate releases every waiting handler.
class TickGate {
public:
    /// One tick; false from the pCancelAt-th tick on (0: never).
    bool Tick(int pCancelAt = 0)
    {
        int ticks = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ticks = ++ticks_;
        }
        changed_.notify_all();
        return pCancelAt == 0 || ticks < pCancelAt;
    }
    /// Blocks until pMore ticks more than at the call have come, or the gate is open.
    void WaitForMore(int pMore)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const int target = ticks_ + pMore;
        changed_.wait(lock, [&] { return open_ || ticks_ >= target; });
    }
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    int Ticks() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return ticks_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int ticks_ = 0;
    bool open_ = false;
};

/// Opens the gate when the test leaves, before a server declared earlier joins its thread,
/// so that a failed assertion cannot leave the handler waiting.
struct OpenAtExit {
    TickGate& Gate;
    ~OpenAtExit() { Gate.Open(); }
};

} // namespace tarvok::test
