// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShortcutRecorder.h"

#include "Dialogs.h"
#include "ReservedShortcuts.h"
#include "core/services/HotkeyGrabber.h"
#include "core/services/KeyboardLayout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QWindow>

namespace scrivlet {

namespace {

namespace Modifier = GlobalShortcuts::Modifier;

constexpr int kMinimumWidth = 130;
// As wide as the pickers beside it in the settings.
constexpr int kPreferredWidth = 160;
// A click this close to the field still counts as on it.
constexpr int kClickSlop = 3;
constexpr int kForceButton = 1;

int modifierMask(Qt::KeyboardModifiers modifiers)
{
    int mask = 0;
    if (modifiers & Qt::ControlModifier)
        mask |= Modifier::control;
    if (modifiers & Qt::AltModifier)
        mask |= Modifier::option;
    if (modifiers & Qt::ShiftModifier)
        mask |= Modifier::shift;
    // Qt calls Super "Meta" on X11.
    if (modifiers & Qt::MetaModifier)
        mask |= Modifier::command;
    return mask;
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(
    Services services, Language language, const QString &name, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_language(language)
    , m_name(name)
{
    m_clear = new QToolButton(this);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAttribute(Qt::WA_MacShowFocusRect, true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(message("record_shortcut"));

    m_clear->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton, nullptr, this));
    m_clear->setAutoRaise(true);
    m_clear->setFocusPolicy(Qt::NoFocus);
    m_clear->setCursor(Qt::ArrowCursor);
    m_clear->setToolTip(message("clear_shortcut"));
    m_clear->setAccessibleName(message("clear_shortcut"));
    connect(m_clear, &QToolButton::clicked, this, &ShortcutRecorder::clearShortcut);

    connect(&m_services.shortcuts, &GlobalShortcuts::ShortcutStore::shortcutChanged, this,
        [this](const QString &changed) {
            if (changed == m_name)
                refresh();
        });
    refresh();
}

ShortcutRecorder::~ShortcutRecorder()
{
    endRecording();
}

QString ShortcutRecorder::message(const char *key) const
{
    return GlobalShortcuts::message(QLatin1String(key), m_language);
}

void ShortcutRecorder::setShortcutName(const QString &name)
{
    if (name == m_name)
        return;
    endRecording();
    m_name = name;
    refresh();
}

void ShortcutRecorder::refresh()
{
    const std::optional<GlobalShortcuts::Shortcut> shortcut = m_services.shortcuts.shortcut(m_name);
    KeyboardLayout &layout = m_services.layout;
    m_text = shortcut ? shortcut->displayText(
                 m_language, [&layout](GlobalShortcuts::Key key) { return layout.character(key); })
                      : QString();
    m_clear->setVisible(!m_text.isEmpty());
    setAccessibleDescription(m_text);
    updateGeometry();
    update();
}

QString ShortcutRecorder::shownText() const
{
    if (isShowingPlaceholder())
        return message(m_recording ? "press_shortcut" : "record_shortcut");
    return m_text;
}

bool ShortcutRecorder::isShowingPlaceholder() const
{
    // While recording the prompt stands in for the current shortcut, so that
    // the field visibly waits for keys.
    return m_recording || m_text.isEmpty();
}

void ShortcutRecorder::startRecording()
{
    if (m_recording || !isVisible())
        return;
    m_recording = true;
    m_services.shortcuts.setRecorderActive(true);
    // Other programs' grabs would take the keys away from the field.
    if (QWindow *handle = window()->windowHandle())
        m_keyboardGrabbed = handle->setKeyboardGrabEnabled(true);
    qApp->installEventFilter(this);
    update();
    Q_EMIT recordingChanged(true);
}

void ShortcutRecorder::endRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    qApp->removeEventFilter(this);
    if (m_keyboardGrabbed) {
        if (QWindow *handle = window()->windowHandle())
            handle->setKeyboardGrabEnabled(false);
        m_keyboardGrabbed = false;
    }
    m_services.shortcuts.setRecorderActive(false);
    update();
    Q_EMIT recordingChanged(false);
}

void ShortcutRecorder::stopAndLeave()
{
    endRecording();
    if (hasFocus())
        clearFocus();
}

void ShortcutRecorder::clearShortcut()
{
    m_services.shortcuts.setShortcut(std::nullopt, m_name);
    Q_EMIT shortcutEdited(std::nullopt);
    refresh();
    // Cleared: the field waits for a new one.
    setFocus(Qt::OtherFocusReason);
    startRecording();
}

void ShortcutRecorder::accept(const GlobalShortcuts::Shortcut &shortcut)
{
    m_services.shortcuts.setShortcut(shortcut, m_name);
    refresh();
    Q_EMIT shortcutEdited(shortcut);
    // Ending the recording grabs the new shortcut.
    stopAndLeave();
}

bool ShortcutRecorder::handleEditingKey(const QKeyEvent &event, int modifiers)
{
    if (event.key() == Qt::Key_Backtab) {
        endRecording();
        focusPreviousChild();
        return true;
    }
    if (modifiers != 0)
        return false;
    switch (event.key()) {
    case Qt::Key_Tab:
        endRecording();
        focusNextChild();
        return true;
    case Qt::Key_Escape:
        stopAndLeave();
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        clearShortcut();
        return true;
    default:
        return false;
    }
}

void ShortcutRecorder::handleKey(const QKeyEvent &event)
{
    if (event.isAutoRepeat() || isModifierKey(event.key()))
        return;
    const int modifiers = modifierMask(event.modifiers());
    if (handleEditingKey(event, modifiers))
        return;
    const std::optional<GlobalShortcuts::Key> key
        = m_services.layout.keyAt(quint32(event.nativeScanCode()));
    if (!key || key->isModifier()) {
        m_services.dialogs.beep();
        return;
    }
    const GlobalShortcuts::Shortcut candidate
        = GlobalShortcuts::Shortcut::make(key->rawValue, modifiers);
    // Before the modifier rule, so that Shift+Insert and Return are explained
    // rather than met with a beep.
    KeyboardLayout &layout = m_services.layout;
    const auto typed = [&layout](GlobalShortcuts::Key typing) { return layout.character(typing); };
    if (const std::optional<QString> use = reservedUse(candidate, typed)) {
        stopAndLeave();
        const QPointer<ShortcutRecorder> self(this);
        m_services.dialogs.inform(message("keyboard_shortcut_used_by_menu_item").arg(*use), {});
        if (self && isVisible()) {
            setFocus(Qt::OtherFocusReason);
            startRecording();
        }
        return;
    }
    // Without Control, Alt or Super, only a function key makes a shortcut
    // that does not take a key away from typing.
    const int needed = Modifier::control | Modifier::option | Modifier::command;
    if (!(modifiers & needed) && !key->isFunctionKey()) {
        m_services.dialogs.beep();
        return;
    }
    if (takenElsewhereAndKept(candidate))
        return;
    accept(candidate);
}

bool ShortcutRecorder::takenElsewhereAndKept(const GlobalShortcuts::Shortcut &candidate)
{
    // Tried for real: the server refuses a combination another program holds.
    if (m_services.hotkeys.isAvailable(candidate))
        return false;
    stopAndLeave();
    const QPointer<ShortcutRecorder> self(this);
    const int choice = m_services.dialogs.choose(message("keyboard_shortcut_used_by_system"),
        message("keyboard_shortcuts_can_be_changed"),
        {message("ok"), message("force_use_shortcut")});
    if (!self || !isVisible())
        return true; // closed meanwhile
    setFocus(Qt::OtherFocusReason);
    startRecording();
    return choice != kForceButton;
}

bool ShortcutRecorder::event(QEvent *event)
{
    if (m_recording) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Every key is ours while recording: no menu or button shortcut
            // takes it first.
            event->accept();
            return true;
        case QEvent::KeyPress:
            // Before QWidget turns Tab into a focus move.
            handleKey(*static_cast<QKeyEvent *>(event));
            return true;
        case QEvent::KeyRelease:
            return true;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

bool ShortcutRecorder::eventFilter(QObject *watched, QEvent *event)
{
    // A click elsewhere ends the recording, and still takes effect.
    if (m_recording && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
        const QRect near = rect().adjusted(-kClickSlop, -kClickSlop, kClickSlop, kClickSlop);
        if (!near.contains(local))
            stopAndLeave();
    }
    return QWidget::eventFilter(watched, event);
}

void ShortcutRecorder::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    // Opening or re-activating the window never starts recording by itself.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        startRecording();
}

void ShortcutRecorder::focusOutEvent(QFocusEvent *event)
{
    endRecording();
    QWidget::focusOutEvent(event);
}

void ShortcutRecorder::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        startRecording();
    }
    event->accept();
}

void ShortcutRecorder::hideEvent(QHideEvent *event)
{
    endRecording();
    QWidget::hideEvent(event);
}

QSize ShortcutRecorder::sizeHint() const
{
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    const QFontMetrics metrics = fontMetrics();
    const QSize contents(metrics.averageCharWidth() * 8, std::max(metrics.height(), 14) + 2);
    const int height
        = style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, this).height();
    // The text sits between two insets as wide as the field is high.
    const int textWidth = std::max(
        {metrics.horizontalAdvance(m_text), metrics.horizontalAdvance(message("record_shortcut")),
            metrics.horizontalAdvance(message("press_shortcut"))});
    return {std::max(textWidth + 2 * height + 8, kPreferredWidth), height};
}

QSize ShortcutRecorder::minimumSizeHint() const
{
    return {kMinimumWidth, sizeHint().height()};
}

void ShortcutRecorder::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int side = height() - 4;
    m_clear->setGeometry(width() - side - 2, 2, side, side);
    m_clear->setIconSize(QSize(side - 6, side - 6));
}

void ShortcutRecorder::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionFrame panel;
    panel.initFrom(this);
    panel.rect = rect();
    panel.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, this);
    panel.midLineWidth = 0;
    panel.state |= QStyle::State_Sunken;
    if (m_recording)
        panel.state |= QStyle::State_HasFocus;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);

    // Centred between the clear button and its mirror on the left.
    const int inset = height();
    const QRect textRect = rect().adjusted(inset, 0, -inset, 0);
    const QString text = fontMetrics().elidedText(shownText(), Qt::ElideRight, textRect.width());
    painter.setPen(
        palette().color(isShowingPlaceholder() ? QPalette::PlaceholderText : QPalette::Text));
    painter.drawText(textRect, Qt::AlignCenter, text);
}

} // namespace scrivlet
