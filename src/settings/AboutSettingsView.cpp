#include "settings/AboutSettingsView.h"

#include "cards/WindowPieces.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace brenvo {

AboutSettingsView::AboutSettingsView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->addStretch();
    column->addWidget(new AppIconView(96), 0, Qt::AlignHCenter);
    auto* name = new QLabel(m_context.config.name);
    name->setTextFormat(Qt::PlainText);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    name->setFont(font);
    column->addWidget(name, 0, Qt::AlignHCenter);
    m_version = new QLabel(versionText(m_context.config));
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_version, 0, Qt::AlignHCenter);

    const QUrl support = supportUrl(m_context.config.supportEmail);
    if (!support.isEmpty()) {
        m_support = new QPushButton(m_context.config.supportEmail);
        m_support->setObjectName(QStringLiteral("support"));
        m_support->setFlat(true);
        m_support->setCursor(Qt::PointingHandCursor);
        m_support->setToolTip(QStringLiteral("Write to support"));
        QFont link = m_support->font();
        link.setUnderline(true);
        m_support->setFont(link);
        connect(m_support, &QPushButton::clicked, this, [this, support] {
            if (m_context.openUrl)
                m_context.openUrl(support);
        });
        column->addWidget(m_support, 0, Qt::AlignHCenter);
    }
    column->addStretch();
}

QUrl AboutSettingsView::supportUrl(const QString& address)
{
    // Only a plain address: anything that could add headers or a body to the message is refused.
    static const QRegularExpression plain(QStringLiteral("^[^\\s@?&#/:<>\"]+@[^\\s@?&#/:<>\"]+$"));
    const QString trimmed = address.trimmed();
    if (!plain.match(trimmed).hasMatch())
        return QUrl();
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(trimmed);
    return url;
}

QString AboutSettingsView::versionText(const AppConfig& config)
{
    if (config.version.isEmpty())
        return config.build.isEmpty() ? QString() : QStringLiteral("Build ") + config.build;
    QString text = QStringLiteral("Version ") + config.version;
    if (!config.build.isEmpty())
        text += QStringLiteral(" (") + config.build + u')';
    return text;
}

} // namespace brenvo
