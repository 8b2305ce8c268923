// Dates as the services write them.
#include "FuzzKit.h"
#include "http/ServiceAPI.h"
#include "model/KitText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    if (const auto date = ServiceAPI::date(QString::fromUtf8(fuzz::bytes(data, size))))
        ageText(*date, fuzz::fixedNow());
    return 0;
}
