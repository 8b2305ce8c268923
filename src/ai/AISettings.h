#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace brenvo {

class Defaults;
class SecretStore;

// The provider of the AI service's answers.
enum class AIProvider { anthropic, openAICompatible };

// The AI service's settings: the provider, the models and the base address in the defaults domain,
// the key in its own item of the base secret store (never with the tools' tokens). Every assignment
// writes its key at once; the change signal comes only when the value changed. Main thread only.
class AISettings : public QObject {
    Q_OBJECT

public:
    static inline const QString providerKey = QStringLiteral("aiProvider");
    static inline const QString anthropicModelKey = QStringLiteral("aiAnthropicModel");
    static inline const QString openAIModelKey = QStringLiteral("aiOpenAIModel");
    static inline const QString openAIBaseURLKey = QStringLiteral("aiOpenAIBaseURL");
    static inline const QString apiKeyItem = QStringLiteral("aiAPIKey");

    // Both must outlive the settings. Reads the defaults once; the key only when asked.
    AISettings(Defaults& defaults, SecretStore& secrets, QObject* parent = nullptr);

    AIProvider provider() const { return m_provider; }
    void setProvider(AIProvider value);
    const QString& anthropicModel() const { return m_anthropicModel; }
    void setAnthropicModel(QString value);
    const QString& openAIModel() const { return m_openAIModel; }
    void setOpenAIModel(QString value);
    const QString& openAIBaseURL() const { return m_openAIBaseURL; }
    void setOpenAIBaseURL(QString value);

    // The stored key, or nothing when none is stored or the store cannot be read.
    std::optional<QString> apiKey() const;
    // Stores the key (blank removes it). False when the store refused it.
    bool setAPIKey(const QString& key);

    // The stored text of a provider, and back; anything unknown reads as Anthropic.
    static QString rawValue(AIProvider provider);
    static AIProvider providerFromRaw(const QString& raw);

Q_SIGNALS:
    void providerChanged();
    void anthropicModelChanged();
    void openAIModelChanged();
    void openAIBaseURLChanged();
    void apiKeyChanged();

private:
    void assignText(QString& field, QString value, const QString& key, void (AISettings::*signal)());

    Defaults& m_defaults;
    SecretStore& m_secrets;
    AIProvider m_provider = AIProvider::anthropic;
    QString m_anthropicModel;
    QString m_openAIModel;
    QString m_openAIBaseURL;
};

} // namespace brenvo
