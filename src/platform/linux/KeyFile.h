// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Keyring.h"

#include <QString>

namespace scrivlet {

// The content key in a file readable by the user alone, for sessions without
// any Secret Service. The file is written once and never replaced.
class KeyFile : public Keyring
{
public:
    static constexpr char kFileName[] = "content-key";

    explicit KeyFile(QString folder);

    [[nodiscard]] Presence presence() override { return Presence::present; }
    // A file has nothing to unlock.
    [[nodiscard]] Lookup lookup(Prompt prompt) override;
    [[nodiscard]] Status store(const SecretBytes &key) override;
    // Only Scrivlet writes the file, once: there is nothing to follow.
    void watch(std::function<void()>) override { }

    [[nodiscard]] QString filePath() const;

private:
    QString m_folder;
};

} // namespace scrivlet
