#include "settings/AboutSettingsView.h"

#include "cards/WindowPieces.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace brenvo {

AboutSettingsView::AboutSettingsView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    // The icon beside the name, the version and the support address under the name.
    auto* outer = new QVBoxLayout(this);
    outer->addStretch();
    auto* row = new QHBoxLayout;
    row->setSpacing(18);
    row->addStretch();
    m_icon = new AppIconView(72);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    column->addStretch();
    m_name = new QLabel(m_context.config.name);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setTextFormat(Qt::PlainText);
    QFont font = m_name->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    m_name->setFont(font);
    column->addWidget(m_name);
    m_version = new QLabel(versionText(m_context.config));
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_version);

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
        column->addWidget(m_support, 0, Qt::AlignLeft);
    }
    column->addStretch();
    row->addLayout(column);
    row->addStretch();
    outer->addLayout(row);
    outer->addStretch();
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
