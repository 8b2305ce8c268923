#include "settings/OnboardingView.h"

#include "app/core/LoginItemManager.h"
#include "cards/WindowPieces.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace brenvo {

OnboardingView::OnboardingView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(40, 36, 40, 28);
    column->setSpacing(14);
    column->addWidget(new AppIconView(96), 0, Qt::AlignHCenter);

    auto* title = new QLabel(QStringLiteral("Welcome to ") + m_context.config.name);
    title->setTextFormat(Qt::PlainText);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.8);
    font.setBold(true);
    title->setFont(font);
    column->addWidget(title, 0, Qt::AlignHCenter);

    m_pitch = new QLabel(pitch);
    m_pitch->setObjectName(QStringLiteral("pitch"));
    m_pitch->setTextFormat(Qt::PlainText);
    m_pitch->setWordWrap(true);
    m_pitch->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_pitch);

    auto* how = new QLabel(QStringLiteral(
        "Connect your tools in Settings with a token or key of each. Point at the strip on the edge of "
        "your screen to see them."));
    how->setTextFormat(Qt::PlainText);
    how->setWordWrap(true);
    how->setAlignment(Qt::AlignHCenter);
    how->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(how);

    m_login = new QCheckBox(QStringLiteral("Launch at login"));
    m_login->setObjectName(QStringLiteral("launchAtLogin"));
    column->addWidget(m_login, 0, Qt::AlignHCenter);
    column->addStretch();

    m_settings = new QPushButton(QStringLiteral("Open Settings"));
    m_settings->setObjectName(QStringLiteral("openSettings"));
    m_finish = new QPushButton(QStringLiteral("Get Started"));
    m_finish->setObjectName(QStringLiteral("finish"));
    m_finish->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_settings);
    buttons->addStretch();
    buttons->addWidget(m_finish);
    column->addLayout(buttons);

    connect(m_settings, &QPushButton::clicked, this, [this] {
        if (m_context.openSettings)
            m_context.openSettings();
    });
    connect(m_finish, &QPushButton::clicked, this, &OnboardingView::finished);
    if (m_context.loginItem) {
        connect(m_login, &QCheckBox::toggled, this, [this](bool wanted) {
            m_context.loginItem->setEnabled(wanted);
            readLoginItem(); // springs back when the change did not happen
        });
        connect(
            m_context.loginItem, &LoginItemManager::isEnabledChanged, this, &OnboardingView::readLoginItem);
        readLoginItem();
    } else {
        m_login->hide();
    }
}

void OnboardingView::readLoginItem()
{
    const QSignalBlocker block(m_login);
    m_login->setChecked(m_context.loginItem->isEnabled());
}

} // namespace brenvo
