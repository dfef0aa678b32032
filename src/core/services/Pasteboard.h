// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/capture/PasteboardReading.h"

#include <functional>
#include <memory>

namespace scrivlet {

// The desktop's clipboard as capture sees it.
class Pasteboard
{
public:
    using ReadHandler = std::function<void(ClipboardRead)>;
    // Bytes by MIME type, in order of preference.
    using Representations = QList<std::pair<QString, QByteArray>>;

    virtual ~Pasteboard() = default;
    // Moves whenever the clipboard's contents are replaced.
    [[nodiscard]] virtual qint64 changeCount() const = 0;
    // Looks at the clipboard now and delivers what it found, later or at
    // once, but always in the order asked. Contents are read through
    // readClip, and only when `scope` asks for them; reading another
    // application's data may take time.
    virtual void read(ReadScope scope, ReadHandler handler) = 0;
    // Replaces the clipboard's contents and keeps serving them.
    virtual void write(const Representations &representations) = 0;

    // Whether the desktop says when the clipboard changes: then `onChange`
    // runs, on the thread the pasteboard was made on, each time the counter
    // has moved. Otherwise the counter can only be looked at.
    [[nodiscard]] virtual bool announcesChanges() const { return false; }
    void onChange(std::function<void()> handler) { m_changed = std::move(handler); }

protected:
    void announceChange() const
    {
        if (m_changed)
            m_changed();
    }

private:
    std::function<void()> m_changed;
};

} // namespace scrivlet
