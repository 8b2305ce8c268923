#pragma once

#include "settings/SettingsContext.h"
#include "settings/SettingsPage.h"

#include <QWidget>

#include <array>

class QListWidget;
class QMenuBar;
class QStackedWidget;

namespace brenvo {

class AboutSettingsView;
class GeneralSettingsView;
class ServiceSettingsView;

// The settings window: a sidebar of pages (General, one page per tool in catalogue order, About)
// beside the page shown. It shows the page it is told to and reports the page the user picks; the
// owner keeps the two in step with the application's current page.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(const SettingsContext& context, QWidget* parent = nullptr);

    SettingsPage page() const { return m_page; }
    // Shows a page; a page this window does not have shows General.
    void showPage(SettingsPage page);
    // Shows the window, raises it and gives it the keyboard.
    void present();
    // The window's menu bar, made on first use, for the owner to fill with the menu commands.
    QMenuBar* menuBar();

    GeneralSettingsView* generalPage() const { return m_general; }
    ServiceSettingsView* servicePage(KitService service) const { return m_services.at(service.index()); }
    AboutSettingsView* aboutPage() const { return m_about; }
    QListWidget* sidebar() const { return m_sidebar; }

    // The pages of the sidebar, top to bottom.
    static QList<SettingsPage> pages();

Q_SIGNALS:
    // The user picked a page in the sidebar.
    void pageChosen(SettingsPage page);

private:
    void select(int row, bool byUser);

    SettingsContext m_context;
    SettingsPage m_page;
    QListWidget* m_sidebar;
    QMenuBar* m_menuBar = nullptr;
    QStackedWidget* m_stack;
    GeneralSettingsView* m_general;
    std::array<ServiceSettingsView*, KitService::count> m_services {};
    AboutSettingsView* m_about;
};

} // namespace brenvo
