#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace brenvo {

class EdgeController;
class PreferencesStore;

// The named screen surface that owns one panel controller; the global shortcut toggles it.
class EdgeSurface {
public:
    EdgeSurface(QString name, PreferencesStore& preferences);
    ~EdgeSurface();

    const QString& name() const { return m_name; }
    EdgeController* controller() const { return m_controller.get(); }

    // Takes the controller and installs its panel.
    void start(std::unique_ptr<EdgeController> controller);
    // Uninstalls the panel and drops the controller.
    void stop();
    // Flips tuck-away (written at once); the panel follows through its observer of the setting.
    // Nothing without a controller.
    void toggle();

private:
    QString m_name;
    PreferencesStore& m_preferences;
    std::unique_ptr<EdgeController> m_controller;
};

} // namespace brenvo
