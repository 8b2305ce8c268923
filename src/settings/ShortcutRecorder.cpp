#include "settings/ShortcutRecorder.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace brenvo {

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(std::optional<HotKey> current, Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_shortcut(current)
    , m_actions(std::move(actions))
{
    m_record = new QPushButton(this);
    m_record->setObjectName(QStringLiteral("recordShortcut"));
    m_record->setMinimumWidth(160);
    m_record->installEventFilter(this);
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    m_clear->setObjectName(QStringLiteral("clearShortcut"));
    m_note = new QLabel(this);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_note->hide();

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_record);
    row->addWidget(m_clear);
    row->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    column->addWidget(m_note);

    connect(m_record, &QPushButton::clicked, this, [this] {
        if (m_recording)
            cancelRecording();
        else
            startRecording();
    });
    connect(m_clear, &QPushButton::clicked, this, &ShortcutRecorder::clear);
    updateTexts();
}

ShortcutRecorder::~ShortcutRecorder()
{
    // A window closed mid-recording must not leave the shortcut let go.
    if (!m_recording)
        return;
    m_record->releaseKeyboard();
    if (m_actions.resume)
        m_actions.resume();
}

void ShortcutRecorder::setShortcut(std::optional<HotKey> shortcut)
{
    if (shortcut == m_shortcut)
        return;
    m_shortcut = shortcut;
    updateTexts();
}

QString ShortcutRecorder::note() const
{
    return m_note->isHidden() ? QString() : m_note->text();
}

void ShortcutRecorder::startRecording()
{
    if (m_recording)
        return;
    m_recording = true;
    setNote(QString());
    if (m_actions.suspend)
        m_actions.suspend();
    m_record->setFocus(Qt::OtherFocusReason);
    // Holding the whole keyboard: a combination another program has grabbed would otherwise go
    // to that program, and the recorder could never say that it is taken.
    m_record->grabKeyboard();
    updateTexts();
}

void ShortcutRecorder::cancelRecording()
{
    if (!m_recording)
        return;
    finishRecording();
}

void ShortcutRecorder::finishRecording()
{
    m_recording = false;
    m_record->releaseKeyboard();
    if (m_actions.resume)
        m_actions.resume();
    updateTexts();
}

void ShortcutRecorder::clear()
{
    if (m_recording)
        finishRecording();
    if (!m_actions.setShortcut)
        return;
    if (m_actions.setShortcut(std::nullopt)) {
        m_shortcut.reset();
        setNote(QString());
    }
    updateTexts();
}

void ShortcutRecorder::handleKey(const QKeyEvent& event)
{
    if (!m_recording || isModifierKey(event.key()))
        return;
    const Qt::KeyboardModifiers held = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Escape && held == Qt::NoModifier) {
        cancelRecording();
        return;
    }
    const auto hotKey = HotKey::fromKeyEvent(event);
    if (!hotKey) {
        setNote(QStringLiteral("That key cannot be used for a shortcut."));
        return; // still recording: another key may do
    }
    const quint32 needed = HotKey::control | HotKey::option | HotKey::command;
    if ((hotKey->modifiers & needed) == 0 && !HotKey::isFunctionKey(hotKey->keyCode)) {
        setNote(QStringLiteral("Add Ctrl, Alt or Super to the key."));
        return;
    }
    const bool taken = !m_actions.setShortcut || !m_actions.setShortcut(*hotKey);
    if (taken) {
        setNote(hotKey->displayText() + QStringLiteral(" is taken. Try another combination."));
    } else {
        m_shortcut = *hotKey;
        setNote(QString());
    }
    finishRecording();
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_record || !m_recording)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Every key goes to the recorder, none to the window's shortcuts or focus chain.
        event->accept();
        return true;
    case QEvent::KeyPress:
        handleKey(*static_cast<QKeyEvent*>(event));
        return true;
    case QEvent::KeyRelease:
        return true;
    case QEvent::FocusOut:
        cancelRecording();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    cancelRecording();
    QWidget::hideEvent(event);
}

void ShortcutRecorder::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitNote();
}

void ShortcutRecorder::setNote(const QString& text)
{
    m_note->setText(text);
    fitNote();
    m_note->setVisible(!text.isEmpty());
}

void ShortcutRecorder::fitNote()
{
    // A form that keeps its fields at their hint width measures the recorder wider than it places
    // it, and would leave the note one line: the note holds out for its lines at the recorder's width.
    // A label's measure includes its minimum, so it is measured free of the last one.
    m_note->setMinimumHeight(0);
    if (!m_note->text().isEmpty())
        m_note->setMinimumHeight(std::max(m_note->heightForWidth(contentsRect().width()), 0));
}

void ShortcutRecorder::updateTexts()
{
    if (m_recording)
        m_record->setText(QStringLiteral("Type a shortcut") + QChar(0x2026));
    else
        m_record->setText(m_shortcut ? m_shortcut->displayText() : QStringLiteral("None"));
    m_clear->setEnabled(m_shortcut.has_value() || m_recording);
}

} // namespace brenvo
