// Claude Code's settings file: every edit keeps the document valid and the other bytes as they were.
#include "FuzzKit.h"
#include "usage/ClaudeSettingsText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    const auto text
        = ClaudeSettingsText::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!text)
        return 0;
    const QString key = QStringLiteral("statusLine");
    const QByteArray value = R"({"type": "command", "command": "sh '/tmp/a b/status-line.sh'"})";
    const QByteArray edited = text->withValue(key, value);
    const auto again = ClaudeSettingsText::parse(edited);
    // An edit that leaves a document Claude Code cannot read would break the user's settings.
    if (!again || !again->member(key) || again->valueBytes(*again->member(key)) != value)
        std::abort();
    if (const auto old = text->member(key)) {
        const auto restored = ClaudeSettingsText::parse(again->withValue(key, text->valueBytes(*old)));
        if (!restored || restored->bytes() != text->bytes())
            std::abort();
    }
    if (!ClaudeSettingsText::parse(text->without(key)))
        std::abort();
    return 0;
}
