// GitLab replies through the real client and source, into the row texts.
#include "FuzzKit.h"
#include "FuzzWalks.h"
#include "sources/GitLabSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const auto http = std::make_shared<fuzz::FuzzTransport>(fuzz::bytes(data, size));
    const auto source
        = std::make_unique<GitLabSource>(http, SiteIconLoader(http), [] { return brenvo::fuzz::fixedNow(); });
    fuzz::walk(*source);
    return 0;
}
