#include "settings/SettingsView.h"

#include "cards/ServiceTile.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/ServiceSettingsView.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QStackedWidget>

#include <functional>

namespace brenvo {

namespace {

// The side of a tool's tile in the sidebar; the other pages' symbols share its box.
constexpr int iconSide = 22;

// A sidebar icon drawn at twice its size for sharp edges.
QIcon paintedIcon(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(iconSide * 2, iconSide * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return QIcon(pixmap);
}

QIcon serviceTile(KitService service, const QColor& ink)
{
    return paintedIcon([&](QPainter& painter) {
        ServiceTile::paint(painter, service, QRectF(0, 0, iconSide, iconSide), ink);
    });
}

// A cog: the General page.
QIcon cogIcon(const QColor& colour)
{
    return paintedIcon([&](QPainter& painter) {
        const QPointF centre(iconSide / 2.0, iconSide / 2.0);
        QPainterPath teeth;
        for (int i = 0; i < 8; ++i) {
            QTransform turn;
            turn.translate(centre.x(), centre.y());
            turn.rotate(i * 45.0);
            teeth.addPolygon(turn.map(QPolygonF(QRectF(-1.6, -8, 3.2, 4))));
        }
        QPainterPath wheel;
        wheel.addEllipse(centre, 5.6, 5.6);
        QPainterPath hole;
        hole.addEllipse(centre, 2.2, 2.2);
        painter.fillPath(wheel.united(teeth).subtracted(hole), colour);
    });
}

// A circled "i": the About page.
QIcon infoIcon(const QColor& colour)
{
    return paintedIcon([&](QPainter& painter) {
        QPainterPath disc;
        disc.addEllipse(QPointF(iconSide / 2.0, iconSide / 2.0), 8, 8);
        QPainterPath mark;
        mark.addEllipse(QPointF(iconSide / 2.0, iconSide / 2.0 - 3.8), 1.3, 1.3);
        mark.addRoundedRect(QRectF(iconSide / 2.0 - 1.1, iconSide / 2.0 - 1.4, 2.2, 6.4), 1, 1);
        painter.fillPath(disc.subtracted(mark), colour);
    });
}

QScrollArea* scrolling(QWidget* page)
{
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(page);
    return area;
}

} // namespace

QList<SettingsPage> SettingsView::pages()
{
    QList<SettingsPage> list {SettingsPage::general()};
    for (KitService service : KitService::allCases())
        list.append(SettingsPage::service(service));
    list.append(SettingsPage::about());
    return list;
}

SettingsView::SettingsView(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setWindowTitle(m_context.config.name + QStringLiteral(" Settings"));
    setWindowFlag(Qt::Window);
    resize(760, 560);
    setMinimumSize(640, 440);

    m_sidebar = new QListWidget;
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setIconSize(QSize(iconSide, iconSide));
    m_sidebar->setFixedWidth(190);
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setSpacing(1);
    m_stack = new QStackedWidget;

    const QColor ink = palette().color(QPalette::WindowText);
    m_general = new GeneralSettingsView(m_context);
    m_sidebar->addItem(new QListWidgetItem(cogIcon(ink), QStringLiteral("General")));
    m_stack->addWidget(scrolling(m_general));
    for (KitService service : KitService::allCases()) {
        auto* page = new ServiceSettingsView(service, m_context);
        m_services.at(service.index()) = page;
        m_sidebar->addItem(new QListWidgetItem(serviceTile(service, ink), service.displayName()));
        m_stack->addWidget(scrolling(page));
    }
    m_about = new AboutSettingsView(m_context);
    m_sidebar->addItem(new QListWidgetItem(infoIcon(ink), QStringLiteral("About")));
    m_stack->addWidget(scrolling(m_about));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_stack, 1);

    select(0, false);
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) { select(row, true); });
}

void SettingsView::select(int row, bool byUser)
{
    const auto list = pages();
    if (row < 0 || row >= list.size())
        return;
    m_page = list.at(row);
    if (m_sidebar->currentRow() != row) {
        const QSignalBlocker block(m_sidebar);
        m_sidebar->setCurrentRow(row);
    }
    m_stack->setCurrentIndex(row);
    if (byUser)
        Q_EMIT pageChosen(m_page);
}

void SettingsView::showPage(SettingsPage page)
{
    const int row = int(pages().indexOf(page));
    select(row < 0 ? 0 : row, false);
}

QMenuBar* SettingsView::menuBar()
{
    if (!m_menuBar) {
        m_menuBar = new QMenuBar(this);
        layout()->setMenuBar(m_menuBar);
    }
    return m_menuBar;
}

void SettingsView::present()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

} // namespace brenvo
