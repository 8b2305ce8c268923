// The strict JSON reader alone, on typed records in both key styles.
#include "FuzzKit.h"
#include "http/JsonReader.h"
#include "sources/CloudflareReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    using namespace brenvo::cloudflare;
    const QByteArray body = fuzz::bytes(data, size);
    const auto attempt = [&](auto decode) {
        try {
            decode();
        } catch (const std::exception&) {
        }
    };
    attempt([&] { decodeJson<JsonValue>(body); });
    attempt([&] { decodeJson<std::vector<JsonObject>>(body, KeyStyle::snakeCase); });
    attempt(
        [&] { decodeJson<std::optional<std::vector<PagesDeploymentResponse>>>(body, KeyStyle::snakeCase); });
    attempt([&] { decodeJson<Envelope<std::vector<PagesProjectResponse>>>(body, KeyStyle::asIs); });
    return 0;
}
