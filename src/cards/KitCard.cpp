#include "cards/KitCard.h"

#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitSymbols.h"
#include "cards/ServiceIcon.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace brenvo {

namespace {

// The header row is a button only to take clicks; it draws nothing of its own.
class HeaderButton : public QAbstractButton {
public:
    explicit HeaderButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    std::function<void()> action;

    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QSize(); }

protected:
    void paintEvent(QPaintEvent*) override { }
    bool hitButton(const QPoint& pos) const override { return action && rect().contains(pos); }
};

class Hairline : public QWidget {
public:
    explicit Hairline(QWidget* parent)
        : QWidget(parent)
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), KitPalette::divider());
    }
};

} // namespace

KitIconPlate::KitIconPlate(KitService service, qreal side, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_side(side)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QString());
}

void KitIconPlate::setSide(qreal side)
{
    if (side == m_side)
        return;
    m_side = side;
    updateGeometry();
    update();
}

void KitIconPlate::setImage(const QImage& image)
{
    if (image.isNull() && m_image.isNull())
        return;
    if (!image.isNull() && !m_image.isNull() && image.cacheKey() == m_image.cacheKey())
        return;
    m_image = image;
    update();
}

QSize KitIconPlate::sizeHint() const
{
    const int side = int(std::ceil(m_side));
    return QSize(side, side);
}

QRectF KitIconPlate::cropRect(const QSizeF& image, qreal side)
{
    if (image.isEmpty() || side <= 0)
        return QRectF();
    // Fill the square: the shorter side of the image spans it, the longer is cut evenly.
    const qreal k = std::max(side / image.width(), side / image.height());
    const QSizeF shown(side / k, side / k);
    return QRectF(QPointF((image.width() - shown.width()) / 2, (image.height() - shown.height()) / 2), shown);
}

void KitIconPlate::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QRectF square((width() - m_side) / 2.0, (height() - m_side) / 2.0, m_side, m_side);
    const qreal radius = 0.28 * m_side;
    QPainterPath shape;
    shape.addRoundedRect(square, radius, radius);
    if (!m_image.isNull()) {
        p.setClipPath(shape);
        p.drawImage(square, m_image, cropRect(m_image.size(), m_side));
        return;
    }
    p.fillPath(shape, KitPalette::fill());
    const qreal icon = 0.55 * m_side;
    ServiceIcon::paint(p, m_service,
        QRectF(square.center() - QPointF(icon / 2, icon / 2), QSizeF(icon, icon)),
        palette().color(QPalette::WindowText));
}

KitCard::KitCard(KitService service, Header header, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    auto* headerButton = new HeaderButton(this);
    m_headerButton = headerButton;
    connect(headerButton, &QAbstractButton::clicked, this, [this] {
        if (m_header.choose)
            m_header.choose();
    });
    m_headerRow = new QHBoxLayout(headerButton);
    m_headerRow->setContentsMargins(0, 0, 0, 0);
    m_plate = new KitIconPlate(service, 18);
    m_headerRow->addWidget(m_plate, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout();
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(1);
    auto* titleRow = new QHBoxLayout();
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(5);
    m_title = new KitLine(QString(), kitFont(12));
    m_chevron = new KitSymbolView(KitSymbol::chevronUpChevronDown, 8, QFont::Bold, KitPalette::secondary());
    m_source = new KitLine(QString(), kitFont(11), KitPalette::tertiary());
    m_source->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    titleRow->addWidget(m_title);
    titleRow->addWidget(m_chevron, 0, Qt::AlignVCenter);
    titleRow->addStretch(1);
    titleRow->addWidget(m_source);
    texts->addLayout(titleRow);
    m_detail = new KitLine(QString(), kitFont(11), KitPalette::secondary());
    texts->addWidget(m_detail);
    m_headerRow->addLayout(texts, 1);
    for (QWidget* w :
        {static_cast<QWidget*>(m_plate), static_cast<QWidget*>(m_title), static_cast<QWidget*>(m_chevron),
            static_cast<QWidget*>(m_source), static_cast<QWidget*>(m_detail)})
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_layout->addWidget(headerButton);

    m_divider = new Hairline(this);
    m_layout->addWidget(m_divider);

    m_contentBox = new QWidget(this);
    m_contentLayout = new QVBoxLayout(m_contentBox);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(10);
    m_contentBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_layout->addWidget(m_contentBox, 1);

    setHeader(std::move(header));
    setContent(content);
}

qreal KitCard::plateSide() const
{
    return m_header.detail ? 30 : 18;
}
qreal KitCard::plateSpacing() const
{
    return m_header.detail ? 9 : 7;
}
qreal KitCard::titleFontSize() const
{
    return m_header.detail ? 12.5 : 12;
}

void KitCard::setHeader(Header header)
{
    m_header = std::move(header);
    const bool large = m_header.detail.has_value();
    m_plate->setSide(plateSide());
    m_plate->setImage(m_header.icon);
    m_headerRow->setSpacing(int(plateSpacing()));
    m_title->setLineFont(kitFont(titleFontSize(), QFont::DemiBold));
    m_title->setText(m_header.title);
    m_source->setText(m_header.source);
    m_detail->setText(m_header.detail.value_or(QString()));
    m_detail->setVisible(large);
    m_chevron->setVisible(bool(m_header.choose));
    static_cast<HeaderButton*>(m_headerButton)->action = m_header.choose;
    m_headerButton->setCursor(m_header.choose ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_divider->setVisible(m_header.dividesHeader);
    m_layout->setSpacing(m_header.dividesHeader ? 12 : 10);
}

void KitCard::setContent(QWidget* content)
{
    if (content == m_content)
        return;
    if (m_content) {
        m_contentLayout->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    if (!content)
        return;
    m_contentLayout->addWidget(content, 1);
    // The card is as tall as its content: rows start right under the header and whatever room the
    // panel gives beyond that lies below them. Only a content that grows (a centred note) takes it.
    const QLayoutItem* item = m_contentLayout->itemAt(m_contentLayout->indexOf(content));
    if (!(item->expandingDirections() & Qt::Vertical))
        m_contentLayout->setAlignment(content, Qt::AlignTop);
}

} // namespace brenvo
