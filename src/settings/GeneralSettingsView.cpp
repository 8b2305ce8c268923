#include "settings/GeneralSettingsView.h"

#include "app/core/LoginItemManager.h"
#include "app/core/PreferencesStore.h"
#include "settings/ShortcutRecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
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
    layout->addLayout(form);
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
