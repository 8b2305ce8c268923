// A home page's icon links.
#include "FuzzKit.h"
#include "http/SiteIconLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const QString html = QString::fromUtf8(fuzz::bytes(data, size));
    SiteIconLoader::iconCandidates(html, QUrl(QStringLiteral("https://example.test/app/")));
    SiteIconLoader::attributes(html);
    return 0;
}
