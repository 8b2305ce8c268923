#pragma once

#include <QObject>

namespace brenvo {

class AppState;

// The first-run window. Created with no window; the window is built on the first show().
class OnboardingWindowController : public QObject {
    Q_OBJECT

public:
    explicit OnboardingWindowController(QObject* parent = nullptr);

    // Builds the window once and brings it to the front.
    void show(AppState& appState);
};

} // namespace brenvo
