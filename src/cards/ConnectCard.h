#pragma once

#include "model/KitConnection.h"
#include "model/KitService.h"

#include <QWidget>

#include <functional>

class QPushButton;

namespace brenvo {

class KitCard;
class KitCenteredNote;

// The card of a tool that is not connected: one sentence on why nothing shows yet and an
// "Open Settings" button. A change of connection changes only the sentence.
class ConnectCard : public QWidget {
    Q_OBJECT
public:
    ConnectCard(KitService service, KitConnection connection, std::function<void()> openSettings,
        QWidget* parent = nullptr);

    KitService service() const { return m_service; }
    const KitConnection& connection() const { return m_connection; }
    void setConnection(const KitConnection& connection);

    // The sentence for a tool in a connection state.
    static QString message(KitService service, const KitConnection& connection);
    // "key" for stripe, claude and codex; "token" for the others.
    static QString credentialWord(KitService service);

    KitCard* card() const { return m_card; }
    KitCenteredNote* note() const { return m_note; }
    QPushButton* settingsButton() const { return m_button; }

private:
    KitService m_service;
    KitConnection m_connection;
    std::function<void()> m_openSettings;
    KitCard* m_card;
    KitCenteredNote* m_note;
    QPushButton* m_button;
};

} // namespace brenvo
