// Vercel replies through the real client and source, into the row texts.
#include "FuzzKit.h"
#include "FuzzWalks.h"
#include "sources/VercelSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const auto http = std::make_shared<fuzz::FuzzTransport>(fuzz::bytes(data, size));
    const auto source = std::make_unique<VercelSource>(http, SiteIconLoader(http));
    fuzz::walk(*source);
    return 0;
}
