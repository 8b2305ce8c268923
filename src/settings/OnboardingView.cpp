#include "settings/OnboardingView.h"

#include "app/core/LoginItemManager.h"
#include "cards/ButtonStyles.h"
#include "cards/WindowPieces.h"

#include <QCheckBox>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace brenvo {

namespace {

// The wash is white whatever the desktop's scheme: the window's text and controls are light-scheme.
QPalette lightPalette()
{
    // Black text on white ground, the controls' shades worked out from the two.
    QPalette palette(QColor(236, 236, 236), Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0, 0, 0, 140));
    return palette;
}

} // namespace

OnboardingView::OnboardingView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setPalette(lightPalette());
    m_wash = new CardWash(this);
    m_wash->lower();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(40, 36, 40, 28);
    column->setSpacing(14);
    m_icon = new AppIconView(96);
    auto* shadow = new QGraphicsDropShadowEffect(m_icon);
    shadow->setBlurRadius(24);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, 60));
    m_icon->setGraphicsEffect(shadow);
    column->addWidget(m_icon, 0, Qt::AlignHCenter);

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
    SecondaryButtonStyle::shared()->applyTo(m_settings);
    m_finish = new QPushButton(QStringLiteral("Finish"));
    m_finish->setObjectName(QStringLiteral("finish"));
    PrimaryButtonStyle::shared()->applyTo(m_finish);
    // The painted styles are made for the panel, which takes no focus; this window is typed in.
    for (QPushButton* button : {m_settings, m_finish})
        button->setFocusPolicy(Qt::StrongFocus);
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

void OnboardingView::resizeEvent(QResizeEvent* event)
{
    m_wash->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void OnboardingView::readLoginItem()
{
    const QSignalBlocker block(m_login);
    m_login->setChecked(m_context.loginItem->isEnabled());
}

} // namespace brenvo
