// Stripe replies through the real client, into the payment texts.
#include "FuzzKit.h"
#include "FuzzWalks.h"
#include "payments/StripeClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    StripeClient client(std::make_shared<fuzz::FuzzTransport>(fuzz::bytes(data, size)));
    fuzz::walk(client);
    return 0;
}
