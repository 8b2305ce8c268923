#pragma once

// What every fuzz target shares: a transport that answers from the fuzzer's bytes, a runner that
// drives a coroutine to its end, and the card texts that a decoded value ends up in.
#include "http/HTTPClient.h"
#include "model/Deployment.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

namespace brenvo::fuzz {

// Brings up the Qt application the decoders expect; LLVMFuzzerInitialize (in FuzzKit.cpp) calls it.
void start();

// The input as bytes, without a copy.
QByteArray bytes(const std::uint8_t* data, std::size_t size);

// Answers request i with reply i of the input, wrapping around. Replies are separated by the byte
// 0xFF (never part of UTF-8 text); a reply's first byte picks its status, mostly 200.
class FuzzTransport final : public HTTPClient {
public:
    explicit FuzzTransport(const QByteArray& input);
    QCoro::Task<HTTPResponse> data(HTTPRequest request) override;

    int requests = 0;

private:
    QList<QByteArray> m_replies;
    QList<int> m_statuses;
};

// Runs task to its end (the fake transport never waits, so this spins only a short event loop);
// a failure of the client is an expected outcome and is swallowed.
template <typename T> std::optional<T> run(QCoro::Task<T> task);

// A fixed moment, so that runs repeat.
QDateTime fixedNow();

// The texts the cards show for what a client returned.
void touch(const QList<Deployment>& rows);
void touch(const DeploymentDetails& details);
void touch(const QList<Payment>& payments);
void touch(const QList<UsageSpend>& spend);
void touch(const UsageReport& report);

namespace detail {
void spin(const bool& done);

template <typename T> struct RunState {
    bool done = false;
    std::optional<T> value;
};

template <typename T> QCoro::Task<void> watch(QCoro::Task<T> task, std::shared_ptr<RunState<T>> state)
{
    try {
        state->value.emplace(co_await std::move(task));
    } catch (const std::exception&) {
    }
    state->done = true;
}
} // namespace detail

template <typename T> std::optional<T> run(QCoro::Task<T> task)
{
    auto state = std::make_shared<detail::RunState<T>>();
    auto watcher = detail::watch(std::move(task), state);
    detail::spin(state->done);
    return std::move(state->value);
}

} // namespace brenvo::fuzz
