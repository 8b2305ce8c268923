#pragma once

#include "model/KitService.h"

#include <QAbstractButton>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QBoxLayout;
class QVBoxLayout;

namespace brenvo {

class KitLine;
class KitSymbolView;

// The square at the head of a card: a picture cropped to fill it, or the tool's logo on a faint
// plate.
class KitIconPlate : public QWidget {
    Q_OBJECT
public:
    KitIconPlate(KitService service, qreal side, QWidget* parent = nullptr);

    void setSide(qreal side);
    void setImage(const QImage& image);
    qreal side() const { return m_side; }
    bool hasImage() const { return !m_image.isNull(); }
    // The part of the image drawn: the centred crop that fills the square.
    static QRectF cropRect(const QSizeF& image, qreal side);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KitService m_service;
    qreal m_side;
    QImage m_image;
};

// The frame every tool card shares: a compact header (icon plate, title, chooser chevron, source
// label, optional detail line), an optional hairline, and the card's content below. With a choose
// action the whole header row is a button. The card has no background of its own.
class KitCard : public QWidget {
    Q_OBJECT
public:
    struct Header {
        QString title;
        std::optional<QString> detail; // present, even empty, selects the large header
        QImage icon; // null: the tool's logo
        QString source;
        bool dividesHeader = false;
        std::function<void()> choose; // empty: no chooser
    };

    KitCard(KitService service, Header header, QWidget* content, QWidget* parent = nullptr);

    KitService service() const { return m_service; }

    // Updates the header in place.
    void setHeader(Header header);
    const Header& header() const { return m_header; }

    QWidget* content() const { return m_content; }
    // Replaces the content; the old one is deleted later.
    void setContent(QWidget* content);

    // Header metrics of the current header.
    qreal plateSide() const;
    qreal plateSpacing() const;
    qreal titleFontSize() const;

    KitLine* titleLine() const { return m_title; }
    KitLine* detailLine() const { return m_detail; }
    KitLine* sourceLine() const { return m_source; }
    KitSymbolView* chevron() const { return m_chevron; }
    QAbstractButton* headerButton() const { return m_headerButton; }
    KitIconPlate* plate() const { return m_plate; }
    QWidget* divider() const { return m_divider; }

private:
    KitService m_service;
    Header m_header;
    QVBoxLayout* m_layout;
    QAbstractButton* m_headerButton;
    QBoxLayout* m_headerRow;
    KitIconPlate* m_plate;
    KitLine* m_title;
    KitSymbolView* m_chevron;
    KitLine* m_source;
    KitLine* m_detail;
    QWidget* m_divider;
    QWidget* m_contentBox;
    QVBoxLayout* m_contentLayout;
    QWidget* m_content = nullptr;
};

} // namespace brenvo
