// What Claude Code hands its status line, and `claude auth status --json`.
#include "FuzzKit.h"
#include "usage/ClaudeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const QByteArray input = fuzz::bytes(data, size);
    if (const auto meters = claude_limits::fromStatusInput(input))
        fuzz::touch(UsageReport {*meters, std::nullopt, fuzz::fixedNow(), std::nullopt});
    try {
        const ClaudeAccount account = ClaudeAccount::fromReply(input);
        account.refusal();
        account.plan();
    } catch (const std::exception&) {
    }
    return 0;
}
