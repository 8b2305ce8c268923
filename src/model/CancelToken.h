#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace brenvo {

// A shared flag that the owner of a task sets to end it. Copies share the flag; the task checks it
// after every co_await. Callbacks let a waiting sleep wake up early.
class CancelToken {
public:
    CancelToken() : m_state(std::make_shared<State>()) {}

    bool isCancelled() const { return m_state->cancelled; }

    void cancel()
    {
        if (m_state->cancelled)
            return;
        m_state->cancelled = true;
        auto callbacks = std::exchange(m_state->callbacks, {});
        for (auto& entry : callbacks)
            entry.second();
    }

    // Runs fn once when cancelled (at once when already cancelled). Returns an id for removal.
    int onCancel(std::function<void()> fn)
    {
        if (m_state->cancelled) {
            fn();
            return 0;
        }
        const int id = ++m_state->nextId;
        m_state->callbacks.emplace_back(id, std::move(fn));
        return id;
    }

    void removeCallback(int id)
    {
        auto& cbs = m_state->callbacks;
        std::erase_if(cbs, [id](const auto& entry) { return entry.first == id; });
    }

    bool operator==(const CancelToken& other) const { return m_state == other.m_state; }

private:
    struct State {
        bool cancelled = false;
        int nextId = 0;
        std::vector<std::pair<int, std::function<void()>>> callbacks;
    };
    std::shared_ptr<State> m_state;
};

} // namespace brenvo
