#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class QMessageBox;

namespace brenvo {

// Tells the user something: a title and a sentence.
using Alert = std::function<void(const QString& title, const QString& text)>;

// The application's alert: one window per teller; telling again brings the open one forward with
// the new words. Not modal, so no nested event loop runs. Main thread only.
class AlertWindow {
public:
    AlertWindow() = default;
    AlertWindow(const AlertWindow&) = delete;
    AlertWindow& operator=(const AlertWindow&) = delete;
    ~AlertWindow();

    void show(const QString& title, const QString& text);
    // Tells through this instead of a window (tests).
    void replaceWith(Alert alert) { m_replacement = std::move(alert); }
    // The window while it is open.
    QMessageBox* box() const;

private:
    QPointer<QMessageBox> m_box;
    Alert m_replacement;
};

} // namespace brenvo
