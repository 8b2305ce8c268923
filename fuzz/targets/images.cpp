// Icon bytes as a site or a tool serves them.
#include "FuzzKit.h"
#include "http/SiteIconLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    SiteIconLoader::decodeImage(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 64);
    return 0;
}
