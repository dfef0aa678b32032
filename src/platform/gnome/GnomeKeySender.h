// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ShellBridge.h"
#include "core/services/KeySender.h"

#include <QList>
#include <utility>

namespace scrivlet {

// The paste keystroke typed by the Shell extension's virtual keyboard, in
// the user's current layout.
class GnomeKeySender : public KeySender
{
public:
    explicit GnomeKeySender(ShellBridge &bridge);

    // Attached to the extension.
    [[nodiscard]] bool isTrusted() override;
    [[nodiscard]] bool sendPaste(PasteKey key) override;

    // The keysyms pressed (true) and released, in order.
    [[nodiscard]] static QList<std::pair<quint32, bool>> keystroke(PasteKey key);

private:
    ShellBridge &m_bridge;
};

} // namespace scrivlet
