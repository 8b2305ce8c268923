#pragma once

#include "model/KitService.h"
#include "model/Usage.h"

#include <QLocale>
#include <QWidget>

#include <optional>

namespace brenvo {

class DevKitStore;
class KitCard;
class KitLine;
class KitRepaintTicker;
class MeterBar;
class Scheduler;

// One limit window: its name and share used over a bar in the meter's tint, and when it resets.
// A window whose reset time has come reads as unused; the view works this out again while on
// screen.
class UsageMeterView : public QWidget {
    Q_OBJECT
public:
    UsageMeterView(KitService service, const UsageMeter& meter, Scheduler& clock, QWidget* parent = nullptr);

    void setMeter(const UsageMeter& meter);
    // The meter as shown now (rolled over when its reset has passed).
    UsageMeter shownMeter() const;

    KitLine* nameLine() const { return m_name; }
    KitLine* percentLine() const { return m_percent; }
    KitLine* resetLine() const { return m_reset; }
    MeterBar* bar() const { return m_bar; }

    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    KitService m_service;
    UsageMeter m_meter;
    Scheduler& m_clock;
    KitLine* m_name;
    KitLine* m_percent;
    MeterBar* m_bar;
    KitLine* m_reset;
    KitRepaintTicker* m_ticker;
};

// The card of a usage tool (Claude, Codex): the plan's limit windows, the organisation's API spend
// and the sentence of a half that fails.
class UsageCard : public QWidget {
    Q_OBJECT
public:
    UsageCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent = nullptr);

    KitService service() const { return m_service; }
    KitCard* card() const { return m_card; }
    QList<UsageMeterView*> meterViews() const;

    // The sentences of the failing halves: the plan limits first, then the API spend.
    static QStringList failures(KitService service, const DevKitStore& kit);
    // A spend amount in whole units of its currency, in a locale ("$3.42" in en_US).
    static QString amountText(const UsageSpend& spend, const QLocale& locale = QLocale::system());
    // The header's detail: the interval text, and the plan when the tool names one.
    static QString detail(KitService service, const DevKitStore& kit);

    void sync();

private:
    KitService m_service;
    DevKitStore& m_kit;
    Scheduler& m_clock;
    KitCard* m_card;
    struct Shown {
        std::optional<UsageReport> report;
        QList<UsageSpend> spend;
        QStringList failures;
        bool operator==(const Shown&) const = default;
    };
    std::optional<Shown> m_shown;
};

} // namespace brenvo
