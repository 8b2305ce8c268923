#pragma once

#include "model/KitService.h"
#include "settings/SettingsContext.h"
#include "store/PaymentAccount.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace brenvo {

// One tool's settings page: whether it shows on the panel, how often it is checked, its
// connection in the store's sentence, the tool's advice, the way to connect it (a token, payment
// accounts, or an admin key and the local plan limits), and how to make the token or key.
// Everything is done through the tool store; a token or key typed here is handed to it and never
// kept or logged by the page.
class ServiceTile;

class ServiceSettingsView : public QWidget {
    Q_OBJECT

public:
    ServiceSettingsView(KitService service, const SettingsContext& context, QWidget* parent = nullptr);

    KitService service() const { return m_service; }

    ServiceTile* tile() const { return m_tile; }
    QLabel* statusLabel() const { return m_status; }
    QCheckBox* showOnPanel() const { return m_shown; }
    QComboBox* intervalBox() const { return m_interval; }
    QComboBox* projectBox() const { return m_project; }
    QLabel* adviceLabel() const { return m_advice; }
    // The token field (deployment and check tools), the new account's key (payment tools) or the
    // admin key (usage tools), with its button.
    QLineEdit* keyField() const { return m_keyField; }
    QPushButton* connectButton() const { return m_connect; }
    // Disconnect (deployment and check tools) or Remove of the admin key (usage tools).
    QPushButton* disconnectButton() const { return m_disconnect; }
    // Payment tools: why the last account could not be added; usage tools: the admin key's state.
    QLabel* keyStateLabel() const { return m_keyState; }
    // Payment tools: one Remove button per account, in the store's order.
    const QList<QPushButton*>& removeButtons() const { return m_removeButtons; }
    QList<QLabel*> accountLabels() const;
    // Usage tools with a local reader: the plan limits' state and its connect/disconnect button.
    QLabel* planStateLabel() const { return m_planState; }
    QPushButton* planButton() const { return m_planButton; }
    QPushButton* guideLinkButton() const { return m_guideLink; }

    // Whether a connect started here is still waiting for the tool.
    bool isBusy() const { return m_busy; }

private:
    QWidget* buildHeader();
    QWidget* buildOptions();
    QWidget* buildConnection();
    QWidget* buildGuide();
    QWidget* buildTokenRow();
    // The key field and its Connect button, and a remove button when a title is given.
    QHBoxLayout* buildKeyRow(const QString& connectTitle, const QString& removeTitle);
    static QLabel* boldLabel(const QString& text);
    QWidget* buildAccounts();
    QWidget* buildUsage();

    void submitKey();
    QCoro::Task<> connectKey(QString key);
    QCoro::Task<> connectPlan();
    void togglePlan();

    void refresh();
    void refreshStatus();
    void refreshOptions();
    void refreshProjects();
    void refreshAccounts();
    void refreshControls();
    // Whether the key handed to the store was taken.
    bool keyWasTaken() const;

    KitService m_service;
    SettingsContext m_context;
    DevKitStore& m_kit;
    bool m_busy = false;
    bool m_planBusy = false;

    ServiceTile* m_tile = nullptr;
    QLabel* m_status = nullptr;
    QCheckBox* m_shown = nullptr;
    QComboBox* m_interval = nullptr;
    QList<double> m_intervalChoices;
    QComboBox* m_project = nullptr;
    QLabel* m_projectLabel = nullptr;
    QLabel* m_advice = nullptr;
    QLineEdit* m_keyField = nullptr;
    QPushButton* m_connect = nullptr;
    QPushButton* m_disconnect = nullptr;
    QLabel* m_keyState = nullptr;
    QVBoxLayout* m_accountRows = nullptr;
    QWidget* m_accountsBox = nullptr;
    QList<QPushButton*> m_removeButtons;
    std::optional<QList<PaymentAccount>> m_shownAccounts;
    QLabel* m_planState = nullptr;
    QPushButton* m_planButton = nullptr;
    QPushButton* m_guideLink = nullptr;
    QLabel* m_mockNote = nullptr;
};

} // namespace brenvo
