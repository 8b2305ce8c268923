#include "cards/KitProjectPicker.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitRows.h"
#include "cards/KitScrollArea.h"
#include "cards/KitSymbols.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brenvo {

namespace {

// One choice: its label (cut at the head, so the end of a long name stays), and a check mark when
// it is the current pick. The whole width takes clicks.
class PickerRow : public QAbstractButton {
public:
    PickerRow(const QString& label, bool chosen, QWidget* parent = nullptr)
        : QAbstractButton(parent)
    {
        // Not the button's text: a project name with "&" would become a keyboard shortcut.
        setAccessibleName(label);
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 5, 0, 5);
        row->setSpacing(8);
        auto* text = new KitLine(label, kitFont(12, chosen ? QFont::DemiBold : QFont::Normal));
        text->setElideMode(Qt::ElideLeft);
        row->addWidget(text, 1);
        if (chosen) {
            row->addSpacing(8);
            row->addWidget(new KitSymbolView(KitSymbol::checkmark, 10, QFont::Bold, QColor()));
        }
    }
    QSize sizeHint() const override { return layout()->sizeHint(); }
    QSize minimumSizeHint() const override { return layout()->minimumSize(); }

protected:
    void paintEvent(QPaintEvent*) override { }
};

} // namespace

KitProjectPicker::KitProjectPicker(KitService service, DevKitStore& kit, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_kit(kit)
{
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    auto* header = new QHBoxLayout();
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(9);
    m_back = new KitBackButton();
    m_title = new KitLine(title(service), kitFont(12.5, QFont::DemiBold));
    header->addWidget(m_back, 0, Qt::AlignVCenter);
    header->addWidget(m_title, 1, Qt::AlignVCenter);
    page->addLayout(header);

    auto* list = new QWidget();
    m_rowsLayout = new QVBoxLayout(list);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch(1);
    m_scroll = new KitScrollArea(list);
    auto* scrollBox = new QVBoxLayout();
    scrollBox->setContentsMargins(0, 10, 0, 0);
    scrollBox->addWidget(m_scroll);
    page->addLayout(scrollBox, 1);

    connect(m_back, &QAbstractButton::clicked, this, [this] {
        // Closes the picker only; with nothing open it changes nothing.
        if (m_kit.picking())
            closeOpenFaces(m_kit);
    });

    const auto resync = [this] { sync(); };
    connect(&kit, &DevKitStore::listedProjectsChanged, this, resync);
    connect(&kit, &DevKitStore::snapshotChanged, this, resync);
    connect(&kit, &DevKitStore::accountInfoChanged, this, resync);
    connect(&kit, &DevKitStore::accountConnectionsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::selectedProjectsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::paymentAccountsChanged, this, resync);
    sync();
}

QString KitProjectPicker::word(KitService service)
{
    if (service.isPayment())
        return QStringLiteral("accounts");
    if (service == KitService::github)
        return QStringLiteral("repositories");
    return QStringLiteral("projects");
}

QString KitProjectPicker::title(KitService service)
{
    QString w = word(service);
    w[0] = w[0].toUpper();
    return w;
}

QList<KitProjectPicker::Row> KitProjectPicker::rows() const
{
    const std::optional<KitProject> pick = m_kit.selectedProject(m_service);
    QList<Row> rows;
    rows << Row {QStringLiteral("All ") + word(m_service), !pick.has_value(), std::nullopt};
    for (const KitProject& project : m_kit.projects(m_service))
        rows << Row {project.name, pick && *pick == project, project};
    return rows;
}

QList<QAbstractButton*> KitProjectPicker::rowButtons() const
{
    QList<QAbstractButton*> buttons;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        if (auto* b = qobject_cast<QAbstractButton*>(m_rowsLayout->itemAt(i)->widget()))
            buttons << b;
    }
    return buttons;
}

void KitProjectPicker::sync()
{
    const QList<Row> next = rows();
    if (next == m_shown)
        return;
    m_shown = next;
    // Rebuilt in place inside the same scroll area, which keeps its position.
    while (m_rowsLayout->count() > 1) {
        QLayoutItem* item = m_rowsLayout->takeAt(0);
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    int index = 0;
    for (const Row& row : next) {
        auto* button = new PickerRow(row.label, row.chosen);
        const std::optional<KitProject> project = row.project;
        connect(
            button, &QAbstractButton::clicked, this, [this, project] { m_kit.select(project, m_service); });
        m_rowsLayout->insertWidget(index++, button);
    }
}

} // namespace brenvo
