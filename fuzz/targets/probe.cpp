// The text of `claude -p /usage`.
#include "FuzzKit.h"
#include "usage/ClaudeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const auto meters
        = claude_limits::fromUsageText(QString::fromUtf8(fuzz::bytes(data, size)), fuzz::fixedNow());
    fuzz::touch(UsageReport {meters, std::nullopt, fuzz::fixedNow(), std::nullopt});
    return 0;
}
