#pragma once

#include "model/HotKey.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace brenvo {

// Records the global shortcut: a click starts recording, the next combination with Ctrl, Alt or
// Super (or a function key alone) is handed to the setter, Escape or leaving the field
// cancels. The current shortcut is let go while recording so that pressing it records it instead
// of tucking the panel away.
class ShortcutRecorder : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        // Registers and stores the shortcut (none clears it); false when it is taken.
        std::function<bool(std::optional<HotKey>)> setShortcut;
        std::function<void()> suspend;
        std::function<void()> resume;
    };

    ShortcutRecorder(std::optional<HotKey> current, Actions actions, QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    const std::optional<HotKey>& shortcut() const { return m_shortcut; }
    // The stored shortcut changed elsewhere.
    void setShortcut(std::optional<HotKey> shortcut);

    bool isRecording() const { return m_recording; }
    void startRecording();
    void cancelRecording();
    // Clears the shortcut through the setter.
    void clear();

    // What went wrong with the last attempt ("Alt+Shift+Space is taken."), or empty.
    QString note() const;

    QPushButton* recordButton() const { return m_record; }
    QPushButton* clearButton() const { return m_clear; }
    QLabel* noteLabel() const { return m_note; }

    // A key press while recording, as the window delivers it.
    void handleKey(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void finishRecording();
    void setNote(const QString& text);
    void fitNote();
    void updateTexts();

    std::optional<HotKey> m_shortcut;
    Actions m_actions;
    bool m_recording = false;
    QPushButton* m_record;
    QPushButton* m_clear;
    QLabel* m_note;
};

} // namespace brenvo
