#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace brenvo {

// Turns SIGTERM and SIGINT into a signal on the main thread, so that the application quits through
// its termination sequence instead of dying mid-way. One per process.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether the handlers are in place.
    bool isInstalled() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace brenvo
