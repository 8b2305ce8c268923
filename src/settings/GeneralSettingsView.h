#pragma once

#include "model/EdgePlacement.h"
#include "model/KitService.h"
#include "settings/SettingsContext.h"

#include <QList>
#include <QWidget>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace brenvo {

class ShortcutRecorder;

// The panel's side, display and trigger, how many tiles it shows, launch at login, the global
// shortcut and which tools are on the panel. Every control writes through the preferences (or the login item,
// or the shortcut setter) and follows them when they change elsewhere.
class GeneralSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit GeneralSettingsView(const SettingsContext& context, QWidget* parent = nullptr);

    QComboBox* sideBox() const { return m_side; }
    QComboBox* displayBox() const { return m_display; }
    QComboBox* triggerBox() const { return m_trigger; }
    QSpinBox* limitBox() const { return m_limit; }
    QCheckBox* loginBox() const { return m_login; }
    ShortcutRecorder* recorder() const { return m_recorder; }
    // A tool's switch: the same setting as its own page's "Show on panel".
    QCheckBox* toolSwitch(KitService service) const { return m_toolSwitches.at(service.index()); }

    // Lists the attached displays again (and a stored one that is not attached).
    void reloadDisplays();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildToolSwitches();
    void readPreferences();
    void readLoginItem();

    SettingsContext m_context;
    QComboBox* m_side;
    QComboBox* m_display;
    QComboBox* m_trigger;
    QSpinBox* m_limit;
    QCheckBox* m_login;
    ShortcutRecorder* m_recorder;
    std::array<QCheckBox*, KitService::count> m_toolSwitches {};
    // The display of each row of the display box; none is the first screen.
    QList<std::optional<EdgeDisplay>> m_displayChoices;
};

} // namespace brenvo
