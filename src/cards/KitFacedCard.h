#pragma once

#include "cards/KitCard.h"
#include "model/KitService.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

class QLayout;

namespace brenvo {

class DevKitStore;
class KitFaceStack;
class KitProjectPicker;
class KitRows;

// What the deployments and payments cards share: three faces that follow the store (a list, the
// project or account picker while the store picks for this tool, an opened row's page), sliding
// between them, and the rows of the list.
class KitFacedCard : public QWidget {
    Q_OBJECT
public:
    enum class Face { list, picker, detail };

    KitService service() const { return m_service; }
    Face face() const { return m_face; }
    KitFaceStack* faces() const { return m_faces; }
    KitCard* list() const { return m_list; }
    KitRows* rows() const { return m_rows; }
    KitProjectPicker* picker() const { return m_picker; }

    // Brings the card in line with the store (it follows the store's signals by itself).
    virtual void sync() = 0;

protected:
    KitFacedCard(KitService service, DevKitStore& kit, QWidget* parent);

    // The open page, while the detail face shows.
    QWidget* page() const { return m_face == Face::detail ? m_page.data() : nullptr; }
    // Slides a new page in from the right.
    void showPage(QWidget* page);
    // Shows the picker while the store picks for this tool; says whether it does.
    bool showPickerWhilePicking();
    // Makes sure the list face shows, sliding it in from the left when another face did.
    // Returns true when the list is new.
    bool showList();
    // The list's frame: the tool's title as source, a hairline, and a chooser when there is
    // something to choose.
    KitCard::Header listHeader(
        const QString& title, const std::optional<QString>& detail, const QImage& icon) const;
    // Replaces the list's content with rows (or with anything else when rows is null).
    void setListContent(QWidget* content, KitRows* rows);

    // A row of the list: a state dot, a title over a second line, and a trailing column.
    static QWidget* rowLabel(
        const QColor& dot, const QString& title, const QString& second, QLayout* trailing);

    DevKitStore& m_kit;

private:
    KitService m_service;
    KitFaceStack* m_faces;
    Face m_face = Face::list;
    KitCard* m_list = nullptr;
    KitRows* m_rows = nullptr;
    KitProjectPicker* m_picker = nullptr;
    QPointer<QWidget> m_page;
};

} // namespace brenvo
