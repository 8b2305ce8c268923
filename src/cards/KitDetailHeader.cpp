#include "cards/KitDetailHeader.h"

#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brenvo {

KitDetailHeader::KitDetailHeader(
    const QString& title, const QString& detail, const QString& state, const QColor& colour, QWidget* parent)
    : QWidget(parent)
    , m_back(new KitBackButton(this))
    , m_title(new KitLine(title, kitFont(12.5, QFont::DemiBold)))
    , m_detail(new KitLine(detail, kitFont(11), KitPalette::secondary()))
    , m_state(new KitLine(state, kitFont(11, QFont::Medium), colour))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    row->addWidget(m_back, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(1);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->addWidget(m_title);
    texts->addWidget(m_detail);
    row->addLayout(texts, 1);
    row->addSpacing(8);
    m_state->setKeepsWidth(true);
    row->addWidget(m_state, 0, Qt::AlignTop);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_back, &QAbstractButton::clicked, this, &KitDetailHeader::goBack);
}

void KitDetailHeader::setTitle(const QString& title)
{
    m_title->setText(title);
}
void KitDetailHeader::setDetail(const QString& detail)
{
    m_detail->setText(detail);
}

void KitDetailHeader::setState(const QString& state, const QColor& colour)
{
    m_state->setText(state);
    m_state->setColour(colour);
}

KitCenteredNote::KitCenteredNote(const QString& text, QWidget* action, QWidget* parent)
    : QWidget(parent)
    , m_label(
          makeWrappingLabel(text, kitFont(11.5), KitPalette::secondary(), Qt::AlignHCenter | Qt::AlignTop))
    , m_action(action)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addStretch(1);
    column->addWidget(m_label);
    if (action)
        column->addWidget(action, 0, Qt::AlignHCenter);
    column->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QString KitCenteredNote::text() const
{
    return m_label->fullText();
}

void KitCenteredNote::setText(const QString& text)
{
    m_label->setFullText(text);
}

} // namespace brenvo
