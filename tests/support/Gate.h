#pragma once

#include <QCoroTask>

#include <coroutine>
#include <vector>

namespace brenvo::test {

// Holds a fake's call until the test releases it: `co_await gate.wait();` in the fake,
// `gate.release()` in the test.
class Gate {
public:
    struct Awaiter {
        Gate* gate;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) { gate->m_waiters.push_back(h); }
        void await_resume() const noexcept { }
    };

    Awaiter wait() { return Awaiter {this}; }
    int waiting() const { return static_cast<int>(m_waiters.size()); }

    // Resumes every waiter; later ones wait again.
    void release()
    {
        auto waiters = std::move(m_waiters);
        m_waiters.clear();
        for (auto h : waiters)
            h.resume();
    }
    // Resumes the oldest waiter only.
    void releaseOne()
    {
        if (m_waiters.empty())
            return;
        auto h = m_waiters.front();
        m_waiters.erase(m_waiters.begin());
        h.resume();
    }

private:
    std::vector<std::coroutine_handle<>> m_waiters;
};

} // namespace brenvo::test
