// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"
#include "core/services/Workspace.h"
#include "ui/Scheduler.h"

#include <QObject>
#include <QSize>
#include <memory>
#include <optional>

namespace scrivlet {

class AppIconCache;
class AppSettings;
class ClipStore;
class DefaultsStore;
class DesktopEntries;
class ImageStore;
class KeySender;
class KeyboardLayout;
class PaletteModel;
class PaletteRowDelegate;
class PaletteWindow;
class Pasteboard;
class Thumbnails;

// The floating palette: opens at the pointer over whatever the user works
// in, and pastes the chosen entry back into the window that was in front.
class PaletteController : public QObject
{
    Q_OBJECT

public:
    struct Services
    {
        ClipStore &store;
        const ImageStore &images;
        AppSettings &settings;
        DefaultsStore &defaults;
        Pasteboard &pasteboard;
        Workspace &workspace;
        KeySender &keys;
        DesktopEntries &applications;
        AppIconCache &icons;
        // X11: the workspace knows our windows by their ids, and we place
        // them. On Wayland the compositor places them, and its window ids
        // are not Qt's (the workspace leaves our windows out itself).
        bool x11Windows = true;
        // Where the digit row is, for Ctrl+digit by the key's place.
        KeyboardLayout *layout = nullptr;
        // The paste keystroke's waits and the single click's.
        Scheduler &scheduler = Scheduler::eventLoop();
    };

    static constexpr double kDefaultWidth = 520;
    static constexpr double kDefaultHeight = 400;
    static constexpr int kMinimumWidth = 360;
    static constexpr int kMinimumHeight = 280;
    static constexpr int kScreenMargin = 8;
    static constexpr int kKeystrokeDelayMs = 120;
    // How long the target window may take to be active again.
    static constexpr int kActivationWaitMs = 500;

    explicit PaletteController(Services services, QObject *parent = nullptr);
    ~PaletteController() override;

    void show();
    // Makes the window and lays its rows out while hidden, so that the first
    // showing waits no longer than the next.
    void prepare();
    // The global shortcut's action: hide when shown, else show.
    void toggle();
    void hide();
    [[nodiscard]] bool isVisible() const;
    [[nodiscard]] PaletteWindow *window() const { return m_window.get(); }

    // The size to open at: the saved one, within sane bounds and the screen.
    [[nodiscard]] QSize savedSize(const QSize &available) const;
    // Top-left corner at the pointer, pushed inside the screen's free area.
    [[nodiscard]] static QPoint placeNear(
        const QPoint &pointer, const QSize &size, const QRect &available);

Q_SIGNALS:
    // Pasting needs keystrokes this session cannot send; the entry is on
    // the clipboard.
    void pasteKeystrokeUnavailable();

private:
    void makeWindow();
    [[nodiscard]] static QRect availableAt(const QPoint &pointer);
    // The saved size, given to the window; returned for its placement.
    QSize applySize(const QRect &available);
    void paste(const ClipItemPtr &item, bool plain);
    void postKeystroke(quint64 showCount, const WindowRef &target, int waitedMs);
    void saveSize(const QSize &size);
    [[nodiscard]] bool isOwnWindow(quint64 id) const;

    Services m_services;
    std::unique_ptr<Thumbnails> m_thumbnails;
    std::unique_ptr<PaletteModel> m_model;
    std::unique_ptr<PaletteRowDelegate> m_rows;
    std::unique_ptr<PaletteWindow> m_window;
    std::optional<WindowRef> m_previous;
    // Counts show() calls: a keystroke scheduled before the latest one is dropped.
    quint64 m_showCount = 0;
};

} // namespace scrivlet
