// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/capture/MimeSnapshot.h"
#include "core/services/HotkeyGrabber.h"
#include "core/services/KeySender.h"
#include "core/services/Pasteboard.h"
#include "core/services/PointerButtons.h"
#include "core/services/Workspace.h"

#include <algorithm>
#include <functional>

namespace scrivlet::testing {

// A clipboard another application writes to by `copy`.
class FakePasteboard : public Pasteboard
{
public:
    MimeSnapshot contents;
    ClipboardRead::Owner owner = ClipboardRead::Owner::present;
    bool ownWrite = false;
    qint64 count = 0;
    int reads = 0;
    // Reads that asked for the copy's contents.
    int contentReads = 0;
    // Whether each change is announced, as desktops with a change event do.
    bool announces = false;

    void copy(MimeSnapshot snapshot)
    {
        replace(std::move(snapshot));
        changed();
    }
    // The application that copied quits, and the clipboard goes with it.
    void ownerLeaves() { empty(ClipboardRead::Owner::vanished); }
    // An application empties the clipboard on purpose.
    void clear() { empty(ClipboardRead::Owner::cleared); }
    void copyText(const QString &text)
    {
        MimeSnapshot snapshot;
        snapshot.set(mime::kText, text.toUtf8());
        copy(std::move(snapshot));
    }

    qint64 changeCount() const override { return count; }
    bool announcesChanges() const override { return announces; }
    void read(ReadScope scope, ReadHandler handler) override
    {
        ++reads;
        if (owner != ClipboardRead::Owner::present) {
            ClipboardRead gone;
            gone.owner = owner;
            handler(gone);
            return;
        }
        if (scope == ReadScope::contents)
            ++contentReads;
        handler(readClipboard(contents, scope, ownWrite));
    }
    void write(const Representations &representations) override
    {
        if (written)
            written();
        MimeSnapshot snapshot;
        for (const auto &[type, bytes] : representations)
            snapshot.set(type, bytes);
        writes.push_back(representations);
        replace(std::move(snapshot));
        ownWrite = true;
        changed();
    }

    std::vector<Representations> writes;
    // Called at each write, before the clipboard changes.
    std::function<void()> written;

private:
    void replace(MimeSnapshot snapshot)
    {
        contents = std::move(snapshot);
        owner = ClipboardRead::Owner::present;
        ownWrite = false;
        ++count;
    }
    void changed() const
    {
        if (announces)
            announceChange();
    }
    void empty(ClipboardRead::Owner how)
    {
        replace(MimeSnapshot());
        owner = how;
        changed();
    }
};

class FakeKeySender : public KeySender
{
public:
    bool trusted = true;
    int pastes = 0;
    std::vector<PasteKey> keys;
    bool isTrusted() override { return trusted; }
    bool sendPaste(PasteKey key) override
    {
        ++pastes;
        keys.push_back(key);
        return trusted;
    }
};

class FakeHotkeyGrabber : public HotkeyGrabber
{
public:
    std::vector<GlobalShortcuts::Shortcut> grabbed;
    // Combinations another program holds.
    std::vector<GlobalShortcuts::Shortcut> heldElsewhere;
    bool grab(const GlobalShortcuts::Shortcut &shortcut) override
    {
        if (std::ranges::count(heldElsewhere, shortcut) > 0)
            return false;
        grabbed.push_back(shortcut);
        return true;
    }
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override
    {
        std::erase(grabbed, shortcut);
    }
    // What a desktop that binds the key itself says it bound.
    QString trigger;
    [[nodiscard]] QString triggerDescription() const override { return trigger; }
};

class FakeWorkspace : public Workspace
{
public:
    std::optional<QString> frontmost;
    std::optional<WindowRef> active;
    std::vector<quint64> activated;
    // Whether activating a window makes it the active one.
    bool activationWorks = true;

    std::optional<QString> frontmostApplicationId() override { return frontmost; }
    std::optional<WindowRef> activeWindow() override { return active; }
    void activate(quint64 window) override
    {
        activated.push_back(window);
        if (activationWorks)
            active = WindowRef {window, frontmost, QString()};
    }
};

class FakePointerButtons : public PointerButtons
{
public:
    bool held = false;
    bool isAnyHeld() override { return held; }
};

} // namespace scrivlet::testing
