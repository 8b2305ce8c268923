#include "ai/AIService.h"

namespace brenvo {

AIService::AIService(AISettings& settings, AppConfig config, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_config(std::move(config))
{
}

} // namespace brenvo
