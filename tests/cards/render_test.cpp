// Every tool's card, drawn with the sample data as the panel frames it; the pictures are written to
// card-images/ beside the test program for a look by eye.
#include "CardStoreFixture.h"
#include "CardTestSupport.h"
#include "cards/ConnectCard.h"
#include "cards/DeploymentsCard.h"
#include "cards/DevKitCardView.h"
#include "cards/KitFaceStack.h"
#include "cards/KitScrollArea.h"
#include "cards/PaymentsCard.h"
#include "cards/ServiceBadge.h"
#include "cards/ServiceTile.h"

#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace brenvo {
namespace {

// The panel's card frame: 320 × 206, black with a faint rim, 14 points inside, white text.
class Frame : public QWidget {
public:
    explicit Frame(QWidget* card)
    {
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::white);
        p.setColor(QPalette::Text, Qt::white);
        p.setColor(QPalette::ButtonText, Qt::white);
        setPalette(p);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(14, 14, 14, 14);
        setFixedSize(320, 206);
        // As the panel does: a card taller than the room scrolls.
        const int natural = card->hasHeightForWidth() ? card->heightForWidth(292) : card->sizeHint().height();
        if (std::max(natural, card->minimumSizeHint().height()) > 178) {
            auto* scroll = new KitScrollArea(card);
            layout->addWidget(scroll);
        } else {
            layout->addWidget(card);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 22, 22);
        painter.fillPath(shape, Qt::black);
        painter.setPen(QPen(QColor(255, 255, 255, 26), 1));
        painter.drawPath(shape);
    }
};

class RenderTest : public test::CardStoreTest {
protected:
    QDir folder()
    {
        QDir dir(QCoreApplication::applicationDirPath());
        dir.mkpath("card-images");
        dir.cd("card-images");
        return dir;
    }

    // Shows a card in the frame, lets every face settle, and saves its picture.
    QImage render(QWidget* card, const QString& name)
    {
        Frame frame(card);
        frame.show();
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
            for (KitFaceStack* faces : frame.findChildren<KitFaceStack*>())
                faces->finishTransition();
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        const QImage image = frame.grab().toImage();
        EXPECT_TRUE(image.save(folder().filePath(name + ".png"))) << name.toStdString();
        return image;
    }

    static bool hasInk(const QImage& image)
    {
        int bright = 0;
        for (int y = 20; y < image.height() - 20; ++y)
            for (int x = 20; x < image.width() - 20; ++x)
                if (qGray(image.pixel(x, y)) > 128)
                    ++bright;
        return bright > 200;
    }
};

TEST_F(RenderTest, EveryToolsCardRendersWithTheSampleData)
{
    build(true);
    for (KitService s : KitService::allCases()) {
        auto* view = new DevKitCardView(s, *kit, clock);
        const QImage image = render(view, s.rawValue());
        EXPECT_TRUE(hasInk(image)) << s.rawValue().toStdString();
    }
}

TEST_F(RenderTest, DetailPagesAndPickerRender)
{
    build(true);
    const std::tuple<KitService, int, const char*> pages[] = {{KitService::vercel, 2, "detail-vercel-failed"},
        {KitService::github, 2, "detail-github-checks"}, {KitService::vercel, 1, "detail-vercel-ready"}};
    for (const auto& [service, row, name] : pages) {
        kit->inspect(kit->deployments(service)[row], service);
        clock.runPending();
        EXPECT_TRUE(hasInk(render(new DevKitCardView(service, *kit, clock), name))) << name;
    }
    kit->pickProject(KitService::github);
    EXPECT_TRUE(hasInk(render(new DevKitCardView(KitService::github, *kit, clock), "picker-github")));

    kit->inspect(kit->payments(KitService::stripe)[0], KitService::stripe);
    EXPECT_TRUE(hasInk(render(new DevKitCardView(KitService::stripe, *kit, clock), "detail-stripe")));
}

TEST_F(RenderTest, ConnectCardsAndBadgesRender)
{
    EXPECT_TRUE(hasInk(
        render(new ConnectCard(KitService::claude, KitConnection::notConnected(), {}), "connect-claude")));
    EXPECT_TRUE(
        hasInk(render(new ConnectCard(KitService::stripe, KitConnection::rejected(), {}), "connect-stripe")));

    // The eight badges and tiles in a row each.
    auto* strip = new QWidget();
    auto* rows = new QVBoxLayout(strip);
    auto* badges = new QHBoxLayout();
    auto* tiles = new QHBoxLayout();
    rows->addLayout(badges);
    rows->addLayout(tiles);
    const KitSignal signals_[]
        = {KitSignal::good, KitSignal::attention, KitSignal::bad, KitSignal::disconnected};
    int i = 0;
    for (KitService s : KitService::allCases()) {
        ServiceBadge::State state {signals_[i % 4], i == 5, std::nullopt, i == 1, i == 6};
        if (i == 4)
            state.mark = ServiceBadge::Mark::done;
        if (i == 7)
            state.mark = ServiceBadge::Mark::problem;
        badges->addWidget(new ServiceBadge(s, state, clock));
        tiles->addWidget(new ServiceTile(s, 26));
        ++i;
    }
    EXPECT_TRUE(hasInk(render(strip, "badges-and-tiles")));
}

} // namespace
} // namespace brenvo
