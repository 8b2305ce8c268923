#include "cards/ConnectCard.h"

#include "cards/ButtonStyles.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace brenvo {

ConnectCard::ConnectCard(
    KitService service, KitConnection connection, std::function<void()> openSettings, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_connection(std::move(connection))
    , m_openSettings(std::move(openSettings))
{
    m_button = new QPushButton(QStringLiteral("Open Settings"));
    KitButtonStyle::apply(m_button, KitButtonStyle::Kind::quiet);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_openSettings)
            m_openSettings();
    });
    m_note = new KitCenteredNote(message(service, m_connection), m_button);
    KitCard::Header header;
    header.title = service.section();
    header.source = QStringLiteral("Not connected");
    m_card = new KitCard(service, header, m_note, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_card);
}

void ConnectCard::setConnection(const KitConnection& connection)
{
    if (connection == m_connection)
        return;
    m_connection = connection;
    m_note->setText(message(m_service, m_connection));
}

QString ConnectCard::credentialWord(KitService service)
{
    const int keyTools = (1 << KitService::stripe) | (1 << KitService::claude) | (1 << KitService::codex);
    return (keyTools & (1 << service.index())) ? QStringLiteral("key") : QStringLiteral("token");
}

QString ConnectCard::message(KitService service, const KitConnection& connection)
{
    switch (connection.kind()) {
    case KitConnection::Kind::failing:
        return connection.reason();
    case KitConnection::Kind::connecting:
        return QStringLiteral("Connecting to ") + service.title() + QChar(0x2026);
    case KitConnection::Kind::rejected:
        return service.title() + QStringLiteral(" did not accept the ") + credentialWord(service)
            + QStringLiteral(". Add a new one in Settings.");
    case KitConnection::Kind::notConnected:
    case KitConnection::Kind::connected:
        break;
    }
    if (service.isUsage())
        return QStringLiteral("Connect ") + service.displayName()
            + QStringLiteral(
                " in Settings to see how much of your plan's limits you have used, or what your API "
                "usage costs.");
    return QStringLiteral("Add your ") + service.title() + u' ' + credentialWord(service)
        + QStringLiteral(" in Settings to see your ") + service.section().toLower()
        + QStringLiteral(" here.");
}

} // namespace brenvo
