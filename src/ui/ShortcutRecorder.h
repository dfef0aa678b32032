// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/GlobalShortcuts.h"

#include <QWidget>
#include <optional>

class QToolButton;

namespace scrivlet {

class Dialogs;
class HotkeyGrabber;
class KeyboardLayout;

// A field that shows a named shortcut and records the next combination the
// user presses. While it records, the keyboard is grabbed for its window and
// the global hotkeys are let go, so that even the current shortcut reaches
// it; recording ends whenever the field loses the focus or is hidden.
class ShortcutRecorder : public QWidget
{
    Q_OBJECT

public:
    struct Services
    {
        GlobalShortcuts::ShortcutStore &shortcuts;
        HotkeyGrabber &hotkeys;
        KeyboardLayout &layout;
        Dialogs &dialogs;
    };

    ShortcutRecorder(
        Services services, Language language, const QString &name, QWidget *parent = nullptr);
    ~ShortcutRecorder() override;

    void setShortcutName(const QString &name);
    [[nodiscard]] QString shortcutName() const { return m_name; }
    [[nodiscard]] bool isRecording() const { return m_recording; }
    // What the field shows: the shortcut, or the placeholder when it has none
    // or while recording.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] bool isShowingPlaceholder() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user changed the shortcut (none: cleared).
    void shortcutEdited(const std::optional<GlobalShortcuts::Shortcut> &shortcut);
    void recordingChanged(bool recording);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void startRecording();
    void endRecording();
    void stopAndLeave();
    void refresh();
    void clearShortcut();
    void handleKey(const QKeyEvent &event);
    // Tab, Escape and Backspace move on, stop or clear instead of recording.
    bool handleEditingKey(const QKeyEvent &event, int modifiers);
    // Asks when another program holds the combination; true when the user
    // keeps the old shortcut (or the field went away meanwhile).
    bool takenElsewhereAndKept(const GlobalShortcuts::Shortcut &candidate);
    void accept(const GlobalShortcuts::Shortcut &shortcut);
    [[nodiscard]] QString message(const char *key) const;

    Services m_services;
    Language m_language;
    QString m_name;
    QString m_text;
    bool m_recording = false;
    bool m_keyboardGrabbed = false;
    QToolButton *m_clear = nullptr;
};

} // namespace scrivlet
