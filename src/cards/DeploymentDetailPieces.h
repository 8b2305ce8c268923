#pragma once

#include "model/Deployment.h"

#include <QAbstractButton>
#include <QUrl>
#include <QWidget>

class QVariantAnimation;

namespace brenvo {

// The small widgets of a deployment's page.

// A small turning arc while the details load.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    QVariantAnimation* m_turn;
};

// "Live at" and the domain, underlined; the whole line takes clicks.
class LiveLink : public QAbstractButton {
public:
    LiveLink(const QString& domain, const QUrl& url, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The red box of a failed row: its message and the tail of its build log.
class FailureBox : public QWidget {
public:
    explicit FailureBox(const DeploymentDetails& details, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace brenvo
