// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeySender.h"

namespace scrivlet {

class WaylandConnection;

// Keystrokes through KWin's fake input (org_kde_kwin_fake_input), which KWin
// types on its own keyboard, with its own layout, into the focused window.
// KWin offers it only to a program its installed desktop entry grants it to.
class FakeInputKeySender : public KeySender
{
public:
    explicit FakeInputKeySender(WaylandConnection &connection);

    [[nodiscard]] bool isTrusted() override;
    [[nodiscard]] bool sendPaste(PasteKey key) override;

private:
    WaylandConnection &m_connection;
    bool m_authenticated = false;
};

} // namespace scrivlet
