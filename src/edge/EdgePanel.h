#pragma once

#include "edge/EdgeContext.h"

#include <QWidget>

namespace brenvo {

class EdgeHostingView;

// The borderless, non-focusing window on the screen edge, above ordinary windows and on every
// desktop. On X11 it is a dock window that takes no strut, and clicks outside its input region fall
// through to the window below.
class EdgePanel : public QWidget, public EdgeWindow {
    Q_OBJECT
public:
    explicit EdgePanel(QWidget* parent = nullptr);
    ~EdgePanel() override;

    EdgeHostingView* hostingView() const { return m_hosting; }
    bool allowsKey() const { return m_allowsKey; }
    QRegion inputRegion() const { return m_inputRegion; }

    QRect frame() const override { return m_frame; }
    void setFrame(const QRect& frame) override;
    void orderFront() override;
    void orderOut() override;
    void setAllowsKey(bool allows) override;
    void setSide(EdgeSide side) override;
    void layoutContent() override;
    void setInputRegion(const QRegion& region) override;

private:
    void applyX11Hints();
    void applyX11InputRegion();

    EdgeHostingView* m_hosting;
    QRect m_frame;
    QRegion m_inputRegion;
    bool m_allowsKey = false;
};

} // namespace brenvo
