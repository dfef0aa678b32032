// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Keyring.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace scrivlet {

class SecretServiceWatcher;

// The content key as one item in the desktop's Secret Service (gnome-keyring,
// KWallet, KeePassXC...), talked to through libsecret. Every call blocks until
// it has an answer or a deadline passed, so call it off the GUI thread: an
// unlock prompt waits for a person.
class SecretServiceKeyring final : public Keyring
{
public:
    static constexpr const char *kDefaultService = "org.scrivlet.Scrivlet";
    static constexpr const char *kDefaultAccount = "content-encryption-key";
    static constexpr std::chrono::milliseconds kDefaultReplyDeadline = std::chrono::seconds(5);
    static constexpr std::chrono::milliseconds kDefaultPromptDeadline = std::chrono::seconds(120);

    // replyDeadline bounds each exchange that needs no person; promptDeadline
    // bounds those that may show an unlock prompt.
    explicit SecretServiceKeyring(QString service = QString::fromLatin1(kDefaultService),
        QString account = QString::fromLatin1(kDefaultAccount),
        std::chrono::milliseconds replyDeadline = kDefaultReplyDeadline,
        std::chrono::milliseconds promptDeadline = kDefaultPromptDeadline);
    ~SecretServiceKeyring() override;

    [[nodiscard]] Presence presence() override;
    [[nodiscard]] Lookup lookup(Prompt prompt) override;
    [[nodiscard]] Status store(const SecretBytes &key) override;
    void watch(std::function<void()> changed) override;

private:
    QString m_service;
    QString m_account;
    std::chrono::milliseconds m_replyDeadline;
    std::chrono::milliseconds m_promptDeadline;
    std::unique_ptr<SecretServiceWatcher> m_watcher;
};

} // namespace scrivlet
