#pragma once

#include "model/AppConfig.h"
#include "model/EdgePlacement.h"
#include "model/HotKey.h"
#include "model/KitService.h"

#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

namespace brenvo {

class DevKitStore;
class LoginItemManager;
class PreferencesStore;

// What the settings window and onboarding work with. The object graph hands in its own members;
// tests hand in fakes. The store, the preferences and the login item must outlive every window.
struct SettingsContext {
    AppConfig config;
    DevKitStore* kit = nullptr;
    PreferencesStore* preferences = nullptr;
    LoginItemManager* loginItem = nullptr;

    // Registers the shortcut (none clears it) and stores it; false when it is taken.
    std::function<bool(std::optional<HotKey>)> setShortcut;
    // Let go of the shortcut while a new one is recorded, and take it back afterwards.
    std::function<void()> suspendShortcut;
    std::function<void()> resumeShortcut;

    // Hands an address to the desktop (browser, mail program).
    std::function<bool(const QUrl&)> openUrl;
    // The displays the panel may sit on; empty: the attached ones.
    std::function<QList<EdgeDisplay>()> displays;
    // Whether the store reads a tool's plan limits locally; empty: no tool does.
    std::function<bool(KitService)> hasPlanLimits;
    // Opens the settings window (onboarding's button).
    std::function<void()> openSettings;
};

} // namespace brenvo
