#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace brenvo::test {

namespace run_detail {
template <typename T> struct State {
    bool done = false;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    QEventLoop* loop = nullptr;
};

template <typename T> QCoro::Task<void> watch(QCoro::Task<T> task, std::shared_ptr<State<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            state->value.emplace(co_await std::move(task));
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    if (state->loop)
        state->loop->quit();
}
} // namespace run_detail

// Runs the event loop until task ends, for tests of real transports. Gives back its value or
// rethrows its exception; a task still running after limit fails the test and throws.
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    auto state = std::make_shared<run_detail::State<T>>();
    auto watcher = run_detail::watch(std::move(task), state);
    if (!state->done) {
        QEventLoop loop;
        state->loop = &loop;
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
        state->loop = nullptr;
    }
    if (!state->done) {
        ADD_FAILURE() << "task still running after " << limit.count() << " ms";
        throw std::runtime_error("task did not finish in time");
    }
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

} // namespace brenvo::test
