#pragma once
// A gate a test opens when a step of its own is over, so that a peer playing
// the device waits for that step rather than for a stretch of time. Copies
// share one gate, so a peer thread may hold one past the test's own.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tooltest {

class Gate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->open = true;
        state_->changed.notify_all();
    }
    // Bounded, so that a test that ends early never leaves its peer hanging.
    bool Wait(std::chrono::seconds bound = std::chrono::seconds(60)) const
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        return state_->changed.wait_for(lock, bound, [&] { return state_->open; });
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tooltest
