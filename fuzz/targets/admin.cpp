// The Anthropic and OpenAI organisation reports through their real clients, into the spend rows.
#include "FuzzKit.h"
#include "usage/AnthropicAdminClient.h"
#include "usage/OpenAIAdminClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const QByteArray input = fuzz::bytes(data, size);
    AnthropicAdminClient anthropic(std::make_shared<fuzz::FuzzTransport>(input));
    if (const auto rows = fuzz::run(anthropic.spend(QStringLiteral("fuzz-key"), fuzz::fixedNow())))
        fuzz::touch(*rows);
    OpenAIAdminClient openai(std::make_shared<fuzz::FuzzTransport>(input));
    if (const auto rows = fuzz::run(openai.spend(QStringLiteral("fuzz-key"), fuzz::fixedNow())))
        fuzz::touch(*rows);
    return 0;
}
