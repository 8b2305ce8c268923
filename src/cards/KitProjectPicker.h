#pragma once

#include "model/KitConnection.h"
#include "model/KitService.h"

#include <QWidget>

#include <optional>

class QAbstractButton;
class QVBoxLayout;

namespace brenvo {

class DevKitStore;
class KitBackButton;
class KitLine;
class KitScrollArea;

// The page on which the user picks the project, repository or account a card shows. It reads the
// list and the pick from the store and writes the choice back; the store closes it.
class KitProjectPicker : public QWidget {
    Q_OBJECT
public:
    KitProjectPicker(KitService service, DevKitStore& kit, QWidget* parent = nullptr);

    // "accounts", "repositories" or "projects".
    static QString word(KitService service);
    // The word with its first letter upper-cased.
    static QString title(KitService service);

    struct Row {
        QString label;
        bool chosen;
        std::optional<KitProject> project; // none: the all row
        bool operator==(const Row&) const = default;
    };
    // The rows as the store stands now: the all row, then one per listed project.
    QList<Row> rows() const;

    KitBackButton* backButton() const { return m_back; }
    KitLine* titleLine() const { return m_title; }
    // The row buttons, the all row first.
    QList<QAbstractButton*> rowButtons() const;
    KitScrollArea* scrollArea() const { return m_scroll; }

    // Brings the rows in line with the store (it follows the store's signals by itself).
    void sync();

private:
    KitService m_service;
    DevKitStore& m_kit;
    KitBackButton* m_back;
    KitLine* m_title;
    KitScrollArea* m_scroll;
    QVBoxLayout* m_rowsLayout;
    QList<Row> m_shown;
};

} // namespace brenvo
