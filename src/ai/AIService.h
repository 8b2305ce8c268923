#pragma once

#include "ai/AIMode.h"
#include "model/AppConfig.h"

#include <QObject>

namespace brenvo {

class AISettings;

// The AI service, kept for the life of the process. Its mode stays off: it sends nothing and
// answers nothing.
class AIService : public QObject {
    Q_OBJECT

public:
    // The settings must outlive the service.
    AIService(AISettings& settings, AppConfig config, QObject* parent = nullptr);

    AIMode mode() const { return m_mode; }
    AISettings& settings() const { return m_settings; }
    const AppConfig& config() const { return m_config; }

private:
    AISettings& m_settings;
    AppConfig m_config;
    AIMode m_mode = AIMode::off;
};

} // namespace brenvo
