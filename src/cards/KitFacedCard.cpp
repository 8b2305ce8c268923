#include "cards/KitFacedCard.h"

#include "cards/KitFaceStack.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitProjectPicker.h"
#include "cards/KitRows.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brenvo {

KitFacedCard::KitFacedCard(KitService service, DevKitStore& kit, QWidget* parent)
    : QWidget(parent)
    , m_kit(kit)
    , m_service(service)
    , m_faces(new KitFaceStack(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_faces);
}

void KitFacedCard::showPage(QWidget* page)
{
    m_page = page;
    m_list = nullptr;
    m_rows = nullptr;
    m_picker = nullptr;
    m_face = Face::detail;
    m_faces->setFace(page, KitFaceStack::slide);
}

bool KitFacedCard::showPickerWhilePicking()
{
    if (m_kit.picking() != m_service)
        return false;
    if (m_face == Face::picker && m_picker)
        return true; // the picker follows the store by itself
    m_picker = new KitProjectPicker(m_service, m_kit);
    m_page = nullptr;
    m_list = nullptr;
    m_rows = nullptr;
    m_face = Face::picker;
    m_faces->setFace(m_picker, KitFaceStack::slide);
    return true;
}

bool KitFacedCard::showList()
{
    if (m_face == Face::list && m_list)
        return false;
    m_page = nullptr;
    m_picker = nullptr;
    m_rows = nullptr;
    m_list = new KitCard(m_service, KitCard::Header {}, nullptr);
    m_face = Face::list;
    m_faces->setFace(m_list, -KitFaceStack::slide);
    return true;
}

KitCard::Header KitFacedCard::listHeader(
    const QString& title, const std::optional<QString>& detail, const QImage& icon) const
{
    KitCard::Header header;
    header.title = title;
    header.detail = detail;
    header.icon = icon;
    header.source = m_service.title();
    header.dividesHeader = true;
    if (!m_kit.projects(m_service).isEmpty()) {
        DevKitStore* kit = &m_kit;
        const KitService service = m_service;
        header.choose = [kit, service] { kit->pickProject(service); };
    }
    return header;
}

void KitFacedCard::setListContent(QWidget* content, KitRows* rows)
{
    m_rows = rows;
    m_list->setContent(content);
}

QWidget* KitFacedCard::rowLabel(
    const QColor& dot, const QString& title, const QString& second, QLayout* trailing)
{
    auto* label = new QWidget();
    auto* line = new QHBoxLayout(label);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(9);
    auto* dotBox = new QVBoxLayout();
    dotBox->setContentsMargins(0, 5, 0, 0);
    dotBox->addWidget(new SignalDot(dot, 6));
    dotBox->addStretch(1);
    line->addLayout(dotBox);

    auto* texts = new QVBoxLayout();
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(2);
    texts->addWidget(new KitLine(title, kitFont(12.5, QFont::Medium)));
    texts->addWidget(new KitLine(second, kitFont(11), KitPalette::secondary()));
    line->addLayout(texts, 1);
    line->addSpacing(8);
    line->addLayout(trailing);
    return label;
}

} // namespace brenvo
