#pragma once

#include "settings/SettingsContext.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace brenvo {

class AppIconView;
class CardWash;

// The first-run window's content: what the application does in one line, launch at login, the way
// to the settings, and a button that finishes. This platform asks for no permissions, so there
// are no permission steps.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    static inline const QString pitch = QStringLiteral(
        "Your deployments, checks, payments and usage limits, at a glance on the edge of your screen.");

    explicit OnboardingView(const SettingsContext& context, QWidget* parent = nullptr);

    QLabel* pitchLabel() const { return m_pitch; }
    QCheckBox* loginBox() const { return m_login; }
    QPushButton* settingsButton() const { return m_settings; }
    QPushButton* finishButton() const { return m_finish; }
    AppIconView* iconView() const { return m_icon; }
    // The backdrop laid under the whole window.
    CardWash* wash() const { return m_wash; }

Q_SIGNALS:
    void finished();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void readLoginItem();

    SettingsContext m_context;
    CardWash* m_wash;
    AppIconView* m_icon;
    QLabel* m_pitch;
    QCheckBox* m_login;
    QPushButton* m_settings;
    QPushButton* m_finish;
};

} // namespace brenvo
