#include "settings/GeneralSettingsView.h"

#include "app/core/LoginItemManager.h"
#include "app/core/PreferencesStore.h"
#include "cards/ServiceTile.h"
#include "settings/ShortcutRecorder.h"
#include "store/DevKitStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace brenvo {

namespace {

QLabel* hint(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

GeneralSettingsView::GeneralSettingsView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    PreferencesStore& preferences = *m_context.preferences;

    m_side = new QComboBox;
    m_side->setObjectName(QStringLiteral("edgeSide"));
    for (EdgeSide side : allEdgeSides)
        m_side->addItem(side == EdgeSide::right ? QStringLiteral("Right") : QStringLiteral("Left"));

    m_display = new QComboBox;
    m_display->setObjectName(QStringLiteral("edgeDisplay"));
    m_display->setSizeAdjustPolicy(QComboBox::AdjustToContents); // listed again as screens come and go

    m_trigger = new QComboBox;
    m_trigger->setObjectName(QStringLiteral("edgeTrigger"));
    for (EdgeTrigger trigger : allEdgeTriggers)
        m_trigger->addItem(trigger == EdgeTrigger::hover ? QStringLiteral("Pointing at a tile")
                                                         : QStringLiteral("Clicking a tile"));

    m_limit = new QSpinBox;
    m_limit->setObjectName(QStringLiteral("panelLimit"));
    m_limit->setRange(0, KitService::count);
    m_limit->setSpecialValueText(QStringLiteral("No limit"));

    m_login = new QCheckBox(QStringLiteral("Launch at login"));
    m_login->setObjectName(QStringLiteral("launchAtLogin"));

    ShortcutRecorder::Actions actions;
    actions.setShortcut = m_context.setShortcut;
    actions.suspend = m_context.suspendShortcut;
    actions.resume = m_context.resumeShortcut;
    m_recorder = new ShortcutRecorder(preferences.hotKey(), std::move(actions));

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("Screen edge:"), m_side);
    form->addRow(QStringLiteral("Display:"), m_display);
    form->addRow(QStringLiteral("Open cards by:"), m_trigger);
    form->addRow(QStringLiteral("Tiles on the panel:"), m_limit);
    form->addRow(QString(), hint(QStringLiteral("Tools beyond this number fold under a More tile.")));
    form->addRow(QStringLiteral("Startup:"), m_login);
    form->addRow(QStringLiteral("Show or hide the panel:"), m_recorder);
    form->addRow(QString(),
        hint(QStringLiteral("The shortcut tucks the panel away and brings it back from any application.")));

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(14);
    layout->addLayout(form);
    layout->addWidget(buildToolSwitches());
    layout->addStretch();

    connect(m_side, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < int(allEdgeSides.size()))
            m_context.preferences->setEdgeSide(allEdgeSides[index]);
    });
    connect(m_trigger, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < int(allEdgeTriggers.size()))
            m_context.preferences->setEdgeTrigger(allEdgeTriggers[index]);
    });
    connect(m_display, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < m_displayChoices.size())
            m_context.preferences->setEdgeDisplay(m_displayChoices.at(index));
    });
    // Only the user's changes arrive here: a stored limit beyond the box's range shows clamped and
    // stays stored until the user picks another value.
    connect(m_limit, &QSpinBox::valueChanged, this,
        [this](int value) { m_context.preferences->setPanelLimit(value); });
    connect(m_login, &QCheckBox::toggled, this, [this](bool wanted) {
        if (!m_context.loginItem)
            return;
        m_context.loginItem->setEnabled(wanted);
        readLoginItem(); // springs back when the change did not happen
    });

    connect(
        &preferences, &PreferencesStore::enabledServicesChanged, this, &GeneralSettingsView::readPreferences);
    connect(&preferences, &PreferencesStore::edgeSideChanged, this, &GeneralSettingsView::readPreferences);
    connect(&preferences, &PreferencesStore::edgeTriggerChanged, this, &GeneralSettingsView::readPreferences);
    connect(&preferences, &PreferencesStore::panelLimitChanged, this, &GeneralSettingsView::readPreferences);
    connect(&preferences, &PreferencesStore::edgeDisplayChanged, this, &GeneralSettingsView::reloadDisplays);
    connect(&preferences, &PreferencesStore::hotKeyChanged, this,
        [this] { m_recorder->setShortcut(m_context.preferences->hotKey()); });
    if (m_context.loginItem)
        connect(m_context.loginItem, &LoginItemManager::isEnabledChanged, this,
            &GeneralSettingsView::readLoginItem);
    else
        m_login->setEnabled(false);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::screenAdded, this, &GeneralSettingsView::reloadDisplays);
        connect(app, &QGuiApplication::screenRemoved, this, &GeneralSettingsView::reloadDisplays);
    }

    readPreferences();
    reloadDisplays();
    readLoginItem();
}

QWidget* GeneralSettingsView::buildToolSwitches()
{
    auto* group = new QGroupBox(QStringLiteral("Tools"));
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    // Two to a row: the catalogue's pairs (deployments, checks, payments, usage) side by side.
    for (KitService service : KitService::allCases()) {
        const int row = service.index() / 2;
        const int column = (service.index() % 2) * 3;
        auto* toggle = new QCheckBox(service.displayName());
        toggle->setObjectName(QStringLiteral("show-") + service.rawValue());
        grid->addWidget(new ServiceTile(service, 24), row, column);
        grid->addWidget(toggle, row, column + 1);
        connect(toggle, &QCheckBox::toggled, this,
            [this, service](bool shown) { m_context.kit->setEnabled(shown, service); });
        m_toolSwitches.at(service.index()) = toggle;
    }
    grid->setColumnMinimumWidth(2, 24);
    grid->setColumnStretch(5, 1);
    auto* note = hint(QStringLiteral("A tool switched off leaves the panel and is not checked."));
    grid->addWidget(note, (KitService::count + 1) / 2, 0, 1, 6);
    return group;
}

void GeneralSettingsView::showEvent(QShowEvent* event)
{
    reloadDisplays();
    QWidget::showEvent(event);
}

void GeneralSettingsView::readPreferences()
{
    const PreferencesStore& preferences = *m_context.preferences;
    const QSignalBlocker sideBlock(m_side);
    const QSignalBlocker triggerBlock(m_trigger);
    const QSignalBlocker limitBlock(m_limit);
    m_side->setCurrentIndex(preferences.edgeSide() == EdgeSide::right ? 0 : 1);
    m_trigger->setCurrentIndex(preferences.edgeTrigger() == EdgeTrigger::hover ? 0 : 1);
    m_limit->setValue(std::clamp(preferences.panelLimit(), 0, int(KitService::count)));
    for (KitService service : KitService::allCases()) {
        QCheckBox* toggle = m_toolSwitches.at(service.index());
        const QSignalBlocker block(toggle);
        toggle->setChecked(preferences.enabledServices().contains(service));
    }
}

void GeneralSettingsView::reloadDisplays()
{
    const QList<EdgeDisplay> attached = m_context.displays ? m_context.displays() : EdgeDisplay::available();
    const std::optional<EdgeDisplay>& stored = m_context.preferences->edgeDisplay();

    const QSignalBlocker block(m_display);
    m_display->clear();
    m_displayChoices.clear();
    m_displayChoices.append(std::nullopt);
    m_display->addItem(QStringLiteral("First display"));
    int current = 0;
    for (const EdgeDisplay& display : attached) {
        if (stored && stored->id == display.id)
            current = m_displayChoices.size();
        m_displayChoices.append(display);
        m_display->addItem(display.name.isEmpty() ? display.id : display.name);
    }
    // A chosen display that is unplugged stays chosen: the panel returns to it when it comes back.
    if (stored && current == 0) {
        current = m_displayChoices.size();
        m_displayChoices.append(stored);
        m_display->addItem(stored->name + QStringLiteral(" (not connected)"));
    }
    m_display->setCurrentIndex(current);
}

void GeneralSettingsView::readLoginItem()
{
    if (!m_context.loginItem)
        return;
    const QSignalBlocker block(m_login);
    m_login->setChecked(m_context.loginItem->isEnabled());
}

} // namespace brenvo
