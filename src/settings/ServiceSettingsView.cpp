#include "settings/ServiceSettingsView.h"

#include "app/core/PreferencesStore.h"
#include "cards/ServiceTile.h"
#include "model/DetachedTask.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "settings/KeyGuide.h"
#include "store/DevKitStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace brenvo {

namespace {

QLabel* textLabel(const QString& text = QString())
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText); // tool and server text is never markup
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* hintLabel(const QString& text = QString())
{
    auto* label = textLabel(text);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QString projectWord(KitService service)
{
    switch (service) {
    case KitService::github:
        return QStringLiteral("Repository:");
    case KitService::stripe:
    case KitService::polar:
        return QStringLiteral("Account:");
    default:
        return QStringLiteral("Project:");
    }
}

} // namespace

ServiceSettingsView::ServiceSettingsView(KitService service, const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_context(context)
    , m_kit(*context.kit)
{
    setObjectName(QStringLiteral("service-") + service.rawValue());
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(14);
    layout->addWidget(buildHeader());
    layout->addWidget(buildOptions());
    layout->addWidget(buildConnection());
    layout->addWidget(buildGuide());
    layout->addStretch();

    const auto update = [this] { refresh(); };
    for (auto signal :
        {&DevKitStore::connectionsChanged, &DevKitStore::adviceChanged, &DevKitStore::addFailuresChanged,
            &DevKitStore::accountConnectionsChanged, &DevKitStore::accountInfoChanged,
            &DevKitStore::apiConnectionsChanged, &DevKitStore::planConnectionsChanged,
            &DevKitStore::listedProjectsChanged, &DevKitStore::heldSecretsChanged})
        connect(&m_kit, signal, this, update);
    PreferencesStore& preferences = *m_context.preferences;
    for (auto signal : {&PreferencesStore::enabledServicesChanged, &PreferencesStore::checkIntervalsChanged,
             &PreferencesStore::paymentAccountsChanged, &PreferencesStore::selectedProjectsChanged})
        connect(&preferences, signal, this, update);
    refresh();
}

QWidget* ServiceSettingsView::buildHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_tile = new ServiceTile(m_service, 40);
    row->addWidget(m_tile, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    auto* title = textLabel(m_service.displayName());
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    m_status = textLabel();
    m_status->setObjectName(QStringLiteral("connectionState"));
    column->addWidget(title);
    column->addWidget(m_status);
    row->addLayout(column, 1);
    return header;
}

QWidget* ServiceSettingsView::buildOptions()
{
    auto* box = new QWidget;
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    m_shown = new QCheckBox(QStringLiteral("Show on panel"));
    m_shown->setObjectName(QStringLiteral("showOnPanel"));
    connect(m_shown, &QCheckBox::toggled, this, [this](bool shown) { m_kit.setEnabled(shown, m_service); });
    form->addRow(m_shown);

    m_interval = new QComboBox;
    m_interval->setObjectName(QStringLiteral("checkInterval"));
    // Both boxes are filled again as the store changes: each keeps the width of what it holds now.
    m_interval->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_interval, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < m_intervalChoices.size())
            m_kit.setCheckInterval(m_intervalChoices.at(index), m_service);
    });
    form->addRow(m_service == KitService::claude ? QStringLiteral("Ask Claude Code every:")
                                                 : QStringLiteral("Check every:"),
        m_interval);

    m_project = new QComboBox;
    m_project->setObjectName(QStringLiteral("project"));
    m_project->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_projectLabel = new QLabel(projectWord(m_service));
    connect(m_project, &QComboBox::activated, this, [this](int index) {
        const auto projects = m_kit.projects(m_service);
        if (index <= 0 || index > projects.size())
            m_kit.select(std::nullopt, m_service);
        else
            m_kit.select(projects.at(index - 1), m_service);
    });
    form->addRow(m_projectLabel, m_project);

    m_advice = textLabel();
    m_advice->setObjectName(QStringLiteral("advice"));
    form->addRow(m_advice);
    return box;
}

QWidget* ServiceSettingsView::buildConnection()
{
    auto* group = new QGroupBox(m_service.isPayment() ? QStringLiteral("Accounts")
            : m_service.isUsage()                     ? QStringLiteral("Connections")
                                                      : QStringLiteral("Token"));
    auto* column = new QVBoxLayout(group);
    if (m_kit.usesMockData()) {
        m_mockNote
            = hintLabel(QStringLiteral("Sample data is shown: tokens and keys are not used in this mode."));
        column->addWidget(m_mockNote);
    }
    if (m_service.isPayment())
        column->addWidget(buildAccounts());
    else if (m_service.isUsage())
        column->addWidget(buildUsage());
    else
        column->addWidget(buildTokenRow());
    return group;
}

QHBoxLayout* ServiceSettingsView::buildKeyRow(const QString& connectTitle, const QString& removeTitle)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    m_keyField = new QLineEdit;
    m_keyField->setObjectName(QStringLiteral("key"));
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setPlaceholderText(KeyGuide::forService(m_service).fieldPlaceholder);
    m_connect = new QPushButton(connectTitle);
    m_connect->setObjectName(QStringLiteral("connect"));
    row->addWidget(m_keyField, 1);
    row->addWidget(m_connect);
    connect(m_keyField, &QLineEdit::textChanged, this, &ServiceSettingsView::refreshControls);
    connect(m_keyField, &QLineEdit::returnPressed, this, &ServiceSettingsView::submitKey);
    connect(m_connect, &QPushButton::clicked, this, &ServiceSettingsView::submitKey);
    if (!removeTitle.isEmpty()) {
        m_disconnect = new QPushButton(removeTitle);
        m_disconnect->setObjectName(QStringLiteral("disconnect"));
        row->addWidget(m_disconnect);
        connect(m_disconnect, &QPushButton::clicked, this, [this] {
            if (m_service.isUsage())
                m_kit.disconnectAPIUsage(m_service);
            else
                m_kit.disconnect(m_service);
        });
    }
    return row;
}

QWidget* ServiceSettingsView::buildTokenRow()
{
    auto* box = new QWidget;
    box->setLayout(buildKeyRow(QStringLiteral("Connect"), QStringLiteral("Disconnect")));
    return box;
}

QLabel* ServiceSettingsView::boldLabel(const QString& text)
{
    auto* title = textLabel(text);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    return title;
}

QWidget* ServiceSettingsView::buildAccounts()
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    m_accountsBox = new QWidget;
    m_accountRows = new QVBoxLayout(m_accountsBox);
    m_accountRows->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_accountsBox);
    column->addLayout(buildKeyRow(QStringLiteral("Add Account"), QString()));
    m_keyState = textLabel();
    m_keyState->setObjectName(QStringLiteral("addFailure"));
    column->addWidget(m_keyState);
    return box;
}

QWidget* ServiceSettingsView::buildUsage()
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);

    if (m_context.hasPlanLimits && m_context.hasPlanLimits(m_service)) {
        column->addWidget(boldLabel(QStringLiteral("Plan limits")));
        column->addWidget(hintLabel(m_service == KitService::claude
                ? QStringLiteral(
                    "Read from Claude Code's status line: connecting sets a small script as its status "
                    "line, and disconnecting puts back the one it had.")
                : QStringLiteral("Read from the codex command-line tool on this computer.")));
        auto* row = new QHBoxLayout;
        m_planState = textLabel();
        m_planState->setObjectName(QStringLiteral("planState"));
        m_planButton = new QPushButton(QStringLiteral("Connect"));
        m_planButton->setObjectName(QStringLiteral("planConnect"));
        row->addWidget(m_planState, 1);
        row->addWidget(m_planButton);
        column->addLayout(row);
        connect(m_planButton, &QPushButton::clicked, this, &ServiceSettingsView::togglePlan);
    }

    column->addWidget(boldLabel(m_service.apiName() + QStringLiteral(" usage")));
    column->addWidget(
        hintLabel(QStringLiteral("Your organization's API cost and token usage, with an admin key.")));
    m_keyState = textLabel();
    m_keyState->setObjectName(QStringLiteral("apiState"));
    column->addWidget(m_keyState);
    column->addLayout(buildKeyRow(QStringLiteral("Connect"), QStringLiteral("Remove")));
    return box;
}

QWidget* ServiceSettingsView::buildGuide()
{
    const KeyGuide guide = KeyGuide::forService(m_service);
    auto* group = new QGroupBox(guide.title);
    auto* column = new QVBoxLayout(group);
    for (int i = 0; i < guide.steps.size(); ++i)
        column->addWidget(textLabel(QString::number(i + 1) + QStringLiteral(". ") + guide.steps.at(i)));
    m_guideLink = new QPushButton(guide.linkTitle);
    m_guideLink->setObjectName(QStringLiteral("guideLink"));
    connect(m_guideLink, &QPushButton::clicked, this, [this] {
        if (m_context.openUrl)
            m_context.openUrl(KeyGuide::forService(m_service).link);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_guideLink);
    row->addStretch();
    column->addLayout(row);
    return group;
}

QList<QLabel*> ServiceSettingsView::accountLabels() const
{
    QList<QLabel*> labels;
    if (!m_accountsBox)
        return labels;
    for (QLabel* label : m_accountsBox->findChildren<QLabel*>(QStringLiteral("account")))
        labels.append(label);
    return labels;
}

void ServiceSettingsView::submitKey()
{
    if (m_busy || !m_keyField || m_keyField->text().trimmed().isEmpty() || m_kit.usesMockData())
        return;
    runDetached(connectKey(m_keyField->text()), "Connecting a tool");
}

QCoro::Task<> ServiceSettingsView::connectKey(QString key)
{
    QPointer<ServiceSettingsView> self(this);
    const KitService service = m_service;
    m_busy = true;
    refreshControls();
    try {
        co_await m_kit.connect(service, key);
    } catch (...) {
        // The store records its own failures; this is only a guard. The key stays out of it.
        qCWarning(logApp, "Connecting %s stopped unexpectedly", qUtf8Printable(service.serviceName()));
    }
    if (!self)
        co_return;
    m_busy = false;
    // Cleared only after the tool took it, and only when nothing else was typed meanwhile.
    if (keyWasTaken() && m_keyField->text() == key)
        m_keyField->clear();
    refresh();
}

bool ServiceSettingsView::keyWasTaken() const
{
    if (m_service.isPayment())
        return !m_kit.addFailures().contains(m_service);
    if (m_service.isUsage())
        return m_kit.apiConnections().value(m_service).isConnected();
    return m_kit.connection(m_service).isConnected();
}

void ServiceSettingsView::togglePlan()
{
    if (m_planBusy)
        return;
    if (m_kit.planConnections().value(m_service).isConnected())
        m_kit.disconnectUsage(m_service);
    else
        runDetached(connectPlan(), "Connecting plan limits");
}

QCoro::Task<> ServiceSettingsView::connectPlan()
{
    QPointer<ServiceSettingsView> self(this);
    const KitService service = m_service;
    m_planBusy = true;
    refreshControls();
    try {
        co_await m_kit.connectUsage(service);
    } catch (...) {
        qCWarning(logApp, "Connecting the plan limits of %s stopped unexpectedly",
            qUtf8Printable(service.serviceName()));
    }
    if (!self)
        co_return;
    m_planBusy = false;
    refresh();
}

void ServiceSettingsView::refresh()
{
    refreshStatus();
    refreshOptions();
    refreshProjects();
    refreshAccounts();
    refreshControls();
}

void ServiceSettingsView::refreshStatus()
{
    // A token the keyring did not take is said where it was given, until it is saved.
    const auto held = [this](QString sentence, bool isHeld) {
        return isHeld ? sentence + u' ' + heldText(m_service) : sentence;
    };
    const bool tokenHeld = !m_service.isPayment() && m_kit.isHeld(m_service);
    m_status->setText(
        held(connectionSentence(m_service, m_kit.connection(m_service)), tokenHeld && !m_service.isUsage()));
    const auto advice = m_kit.advice().value(m_service);
    m_advice->setText(advice);
    m_advice->setVisible(!advice.isEmpty());
    if (m_service.isUsage()) {
        m_keyState->setText(
            held(connectionSentence(m_service, m_kit.apiConnections().value(m_service)), tokenHeld));
        if (m_planState)
            m_planState->setText(connectionSentence(m_service, m_kit.planConnections().value(m_service)));
    } else if (m_service.isPayment()) {
        const auto failures = m_kit.addFailures();
        const QString text = failures.contains(m_service)
            ? connectionSentence(m_service, failures.value(m_service))
            : QString();
        m_keyState->setText(text);
        m_keyState->setVisible(!text.isEmpty());
    }
}

void ServiceSettingsView::refreshOptions()
{
    const PreferencesStore& preferences = *m_context.preferences;
    {
        const QSignalBlocker block(m_shown);
        m_shown->setChecked(preferences.enabledServices().contains(m_service));
    }
    const double current = preferences.checkInterval(m_service);
    const QList<double> choices = intervalChoices(m_service, current);
    const QSignalBlocker block(m_interval);
    if (choices != m_intervalChoices) {
        m_intervalChoices = choices;
        m_interval->clear();
        for (double seconds : choices)
            m_interval->addItem(durationText(seconds));
    }
    m_interval->setCurrentIndex(int(m_intervalChoices.indexOf(current)));
}

void ServiceSettingsView::refreshProjects()
{
    const auto projects = m_kit.projects(m_service);
    // Vercel, Cloudflare and the usage tools list nothing to pick.
    const bool shown = !projects.isEmpty() && !m_service.isUsage();
    m_project->setVisible(shown);
    m_projectLabel->setVisible(shown);
    if (!shown)
        return;
    const QSignalBlocker block(m_project);
    m_project->clear();
    m_project->addItem(m_service.isPayment()
            ? QStringLiteral("All accounts")
            : (m_service == KitService::github ? QStringLiteral("All repositories")
                                               : QStringLiteral("All projects")));
    const auto picked = m_kit.selectedProject(m_service);
    int current = 0;
    for (const KitProject& project : projects) {
        if (picked && picked->id == project.id)
            current = m_project->count();
        m_project->addItem(project.name.isEmpty() ? project.id : project.name);
    }
    m_project->setCurrentIndex(current);
}

void ServiceSettingsView::refreshAccounts()
{
    if (!m_accountRows)
        return;
    const auto accounts = m_kit.paymentAccounts(m_service);
    if (m_shownAccounts == accounts)
        return; // keeps focus and selection in the rows
    m_shownAccounts = accounts;
    // Old rows go later: a row's own Remove button may be the caller.
    for (QWidget* row :
        m_accountsBox->findChildren<QWidget*>(QStringLiteral("accountRow"), Qt::FindDirectChildrenOnly)) {
        row->hide();
        row->setObjectName(QString());
        row->deleteLater();
    }
    m_removeButtons.clear();
    if (accounts.isEmpty()) {
        auto* none = new QWidget(m_accountsBox);
        none->setObjectName(QStringLiteral("accountRow"));
        auto* row = new QHBoxLayout(none);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(hintLabel(QStringLiteral("No accounts yet. Add one with its key below.")));
        m_accountRows->addWidget(none);
        return;
    }
    for (const PaymentAccount& account : accounts) {
        auto* line = new QWidget(m_accountsBox);
        line->setObjectName(QStringLiteral("accountRow"));
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        QString sentence = connectionSentence(m_service, account.connection);
        if (account.keyHeld)
            sentence += u' ' + heldText(m_service);
        auto* name = textLabel(account.name + QStringLiteral(" \u2014 ") + sentence);
        name->setObjectName(QStringLiteral("account"));
        auto* remove = new QPushButton(QStringLiteral("Remove"));
        remove->setObjectName(QStringLiteral("removeAccount"));
        const QString id = account.id;
        connect(remove, &QPushButton::clicked, this, [this, id] { m_kit.removeAccount(m_service, id); });
        row->addWidget(name, 1);
        row->addWidget(remove);
        m_accountRows->addWidget(line);
        m_removeButtons.append(remove);
    }
}

void ServiceSettingsView::refreshControls()
{
    const bool mock = m_kit.usesMockData();
    const bool typed = m_keyField && !m_keyField->text().trimmed().isEmpty();
    if (m_keyField)
        m_keyField->setEnabled(!mock);
    if (m_connect) {
        m_connect->setEnabled(!mock && typed && !m_busy);
        if (!m_service.isPayment())
            m_connect->setText(
                m_busy ? QStringLiteral("Connecting") + QChar(0x2026) : QStringLiteral("Connect"));
    }
    if (m_disconnect) {
        const bool connected = m_service.isUsage()
            ? m_kit.apiConnections().contains(m_service)
            : m_kit.connection(m_service).kind() != KitConnection::Kind::notConnected;
        m_disconnect->setEnabled(!mock && connected);
    }
    if (m_planButton) {
        const bool planConnected = m_kit.planConnections().value(m_service).isConnected();
        m_planButton->setText(planConnected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
        m_planButton->setEnabled(!mock && !m_planBusy);
    }
    for (QPushButton* remove : std::as_const(m_removeButtons))
        remove->setEnabled(!mock);
}

} // namespace brenvo
