// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"
#include "CommandRequest.h"

#include <QObject>
#include <functional>
#include <optional>

namespace scrivlet {

class AppDelegate;

// Carries out the command line's requests in the running Scrivlet, with the
// same objects the tray and the palette use.
class CommandHandler : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(const CommandResponse &)>;

    explicit CommandHandler(AppDelegate &delegate, QObject *parent = nullptr);

    // Replies once, at once or (paste) after the keystroke.
    void handle(const CommandRequest &request, const Reply &reply);

    // Between writing an entry and the paste keystroke, as the palette waits.
    static constexpr int kKeystrokeDelayMs = 120;

private:
    [[nodiscard]] std::vector<ClipItemPtr> displayed(std::optional<int> limit) const;
    [[nodiscard]] Result<ClipItemPtr> find(const QString &target) const;
    [[nodiscard]] CommandResponse listing(const CommandRequest &request) const;
    [[nodiscard]] CommandResponse capture(const CommandRequest &request);
    void copy(const CommandRequest &request, const Reply &reply);

    AppDelegate &m_delegate;
};

} // namespace scrivlet
