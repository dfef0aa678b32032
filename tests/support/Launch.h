// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/AppDelegate.h"
#include "core/capture/ClipboardMonitor.h"
#include "core/crypto/Crypto.h"
#include "core/desktop/DesktopEntries.h"
#include "core/settings/DefaultsStore.h"
#include "fakes/FakeColorScheme.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeKeyboardLayout.h"
#include "fakes/FakeKeyring.h"
#include "fakes/FakePasteboard.h"

#include <QSignalSpy>

namespace scrivlet::testing {

// One launch of Scrivlet over fakes and a throwaway data folder.
class Launch
{
public:
    Launch(const QString &root, FakeKeyring &keyring, FakeDialogs &dialogs,
        DesktopAbilities abilities = {}, std::function<void()> enableShellExtension = {})
        : m_defaults(root + QStringLiteral("/config"))
        , m_delegate({m_pasteboard, m_workspace, m_keys, keyring, m_keyFile, m_applications,
              m_hotkeys, m_layout, m_scheme, dialogs, m_defaults, root + QStringLiteral("/data"),
              root + QStringLiteral("/config"), Language::french, std::move(abilities),
              std::move(enableShellExtension)})
    { }
    ~Launch() { Crypto::setShared(std::nullopt); }

    // Launches and waits for the key; true when recording.
    bool start()
    {
        QSignalSpy ready(&m_delegate, &AppDelegate::ready);
        if (!m_delegate.launch())
            return false;
        if (!ready.wait(10000))
            return false;
        return ready.at(0).at(0).toBool();
    }
    void copy(const QString &text)
    {
        m_pasteboard.copyText(text);
        m_delegate.monitor()->poll();
    }
    AppDelegate &delegate() { return m_delegate; }
    FakeKeySender m_keys;
    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    FakeHotkeyGrabber m_hotkeys;
    DesktopEntries m_applications {QStringList {}};
    DefaultsStore m_defaults;

private:
    FakeKeyring m_keyFile;
    FakeKeyboardLayout m_layout;
    FakeColorScheme m_scheme;
    AppDelegate m_delegate;
};

} // namespace scrivlet::testing
