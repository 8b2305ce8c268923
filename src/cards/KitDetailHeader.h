#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace brenvo {

class KitClampedText;
class KitBackButton;
class KitLine;

// The head of a detail page: a back button, a title over a detail line, and a state word at the
// right that is never cut.
class KitDetailHeader : public QWidget {
    Q_OBJECT
public:
    KitDetailHeader(const QString& title, const QString& detail, const QString& state, const QColor& colour,
        QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setDetail(const QString& detail);
    void setState(const QString& state, const QColor& colour);

    KitLine* titleLine() const { return m_title; }
    KitLine* detailLine() const { return m_detail; }
    KitLine* stateLine() const { return m_state; }
    KitBackButton* backButton() const { return m_back; }

Q_SIGNALS:
    void goBack();

private:
    KitBackButton* m_back;
    KitLine* m_title;
    KitLine* m_detail;
    KitLine* m_state;
};

// A message in the middle of whatever room the card gives it, with a control under it.
class KitCenteredNote : public QWidget {
    Q_OBJECT
public:
    KitCenteredNote(const QString& text, QWidget* action = nullptr, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QWidget* action() const { return m_action; }

private:
    KitClampedText* m_label;
    QWidget* m_action;
};

} // namespace brenvo
