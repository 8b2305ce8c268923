#pragma once

#include "model/KitService.h"

namespace brenvo {

// A page of the settings window. Two pages are equal when their kinds are, and for a tool's page
// also its tool.
class SettingsPage {
public:
    enum class Kind { general, service, ai, otherApps, about };

    constexpr SettingsPage() = default;

    static constexpr SettingsPage general() { return SettingsPage(Kind::general, KitService::vercel); }
    static constexpr SettingsPage service(KitService tool) { return SettingsPage(Kind::service, tool); }
    static constexpr SettingsPage ai() { return SettingsPage(Kind::ai, KitService::vercel); }
    static constexpr SettingsPage otherApps() { return SettingsPage(Kind::otherApps, KitService::vercel); }
    static constexpr SettingsPage about() { return SettingsPage(Kind::about, KitService::vercel); }

    constexpr Kind kind() const { return m_kind; }
    // The tool of a tool's page; vercel on every other page, where it means nothing.
    constexpr KitService tool() const { return m_tool; }

    friend constexpr bool operator==(const SettingsPage& a, const SettingsPage& b)
    {
        return a.m_kind == b.m_kind && (a.m_kind != Kind::service || a.m_tool == b.m_tool);
    }

private:
    constexpr SettingsPage(Kind kind, KitService tool)
        : m_kind(kind)
        , m_tool(tool)
    {
    }

    Kind m_kind = Kind::general;
    KitService m_tool = KitService::vercel;
};

} // namespace brenvo
