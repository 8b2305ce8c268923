#pragma once

#include "settings/SettingsContext.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace brenvo {

class AppIconView;

// The application's name, version and build, and the support address when one is configured.
class AboutSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit AboutSettingsView(const SettingsContext& context, QWidget* parent = nullptr);

    AppIconView* iconView() const { return m_icon; }
    QLabel* nameLabel() const { return m_name; }
    QLabel* versionLabel() const { return m_version; }
    // None when no support address is configured.
    QPushButton* supportButton() const { return m_support; }

    // "mailto:" and the address; empty when the address is empty or not a plain address.
    static QUrl supportUrl(const QString& address);
    // "Version 1.2 (34)"; without a version, "Build 34"; without either, empty.
    static QString versionText(const AppConfig& config);

private:
    SettingsContext m_context;
    AppIconView* m_icon;
    QLabel* m_name;
    QLabel* m_version;
    QPushButton* m_support = nullptr;
};

} // namespace brenvo
