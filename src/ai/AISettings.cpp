#include "ai/AISettings.h"

#include "app/core/Defaults.h"
#include "app/core/SecretStore.h"
#include "model/Log.h"

namespace brenvo {

AISettings::AISettings(Defaults& defaults, SecretStore& secrets, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_secrets(secrets)
{
    m_provider = providerFromRaw(m_defaults.stringValue(providerKey).value_or(QString()));
    m_anthropicModel = m_defaults.stringValue(anthropicModelKey).value_or(QString());
    m_openAIModel = m_defaults.stringValue(openAIModelKey).value_or(QString());
    m_openAIBaseURL = m_defaults.stringValue(openAIBaseURLKey).value_or(QString());
}

QString AISettings::rawValue(AIProvider provider)
{
    switch (provider) {
    case AIProvider::anthropic:
        return QStringLiteral("anthropic");
    case AIProvider::openAICompatible:
        return QStringLiteral("openai");
    }
    return QStringLiteral("anthropic");
}

AIProvider AISettings::providerFromRaw(const QString& raw)
{
    return raw == rawValue(AIProvider::openAICompatible) ? AIProvider::openAICompatible
                                                         : AIProvider::anthropic;
}

void AISettings::setProvider(AIProvider value)
{
    m_defaults.setObject(providerKey, rawValue(value));
    if (value == m_provider)
        return;
    m_provider = value;
    Q_EMIT providerChanged();
}

void AISettings::assignText(QString& field, QString value, const QString& key, void (AISettings::*signal)())
{
    m_defaults.setObject(key, value);
    if (value == field)
        return;
    field = std::move(value);
    Q_EMIT(this->*signal)();
}

void AISettings::setAnthropicModel(QString value)
{
    assignText(m_anthropicModel, std::move(value), anthropicModelKey, &AISettings::anthropicModelChanged);
}

void AISettings::setOpenAIModel(QString value)
{
    assignText(m_openAIModel, std::move(value), openAIModelKey, &AISettings::openAIModelChanged);
}

void AISettings::setOpenAIBaseURL(QString value)
{
    assignText(m_openAIBaseURL, std::move(value), openAIBaseURLKey, &AISettings::openAIBaseURLChanged);
}

std::optional<QString> AISettings::apiKey() const
{
    const SecretLookup found = m_secrets.lookupSecret(apiKeyItem);
    if (found.isUnreadable())
        qCInfo(logApp, "The AI key could not be read: the keychain item is not readable");
    if (!found.isFound() || found.value().trimmed().isEmpty())
        return std::nullopt;
    return found.value();
}

bool AISettings::setAPIKey(const QString& key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty()) {
        if (!m_secrets.removeSecret(apiKeyItem)) {
            qCWarning(logApp, "The AI key could not be removed");
            return false;
        }
        Q_EMIT apiKeyChanged();
        return true;
    }
    if (!m_secrets.setSecret(trimmed, apiKeyItem)) {
        qCWarning(logApp, "The AI key could not be saved");
        return false;
    }
    Q_EMIT apiKeyChanged();
    return true;
}

} // namespace brenvo
