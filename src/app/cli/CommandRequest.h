// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace scrivlet {

// One command of the command line, as the running Scrivlet receives it: a
// line of JSON on its socket. Whatever arrives there is untrusted, so
// decoding accepts exactly the fields a command takes.
struct CommandRequest
{
    enum class Command {
        toggle,
        show,
        hide,
        settings,
        list,
        search,
        copy,
        paste,
        pin,
        unpin,
        remove,
        clear,
        capture,
    };
    enum class Capture { on, off, toggle, status };

    // Largest request line accepted, newline included.
    static constexpr qsizetype kMaxLine = qsizetype(64) * 1024;
    static constexpr int kMaxLimit = 1'000'000;

    Command command = Command::toggle;
    QString query; // search
    QString target; // copy, paste, pin, unpin, delete: "N" or "id:UUID"
    Capture capture = Capture::status;
    std::optional<int> limit; // list, search
    bool json = false; // list, search
    bool nullSeparated = false; // list, search
    bool yes = false; // clear: the user already agreed

    // From the words after "scrivlet"; the error is a line for the user.
    static Result<CommandRequest> fromArguments(const QStringList &arguments);
    [[nodiscard]] QByteArray toJson() const;
    static Result<CommandRequest> fromJson(const QByteArray &line);

    [[nodiscard]] static QString name(Command command);
    // Commands that start Scrivlet when it is not running: a desktop's
    // shortcut or menu action bound to them must always work.
    [[nodiscard]] bool startsScrivlet() const
    {
        return command == Command::toggle || command == Command::show
            || command == Command::settings;
    }
};

// The running Scrivlet's answer: what to print, and whether it went well.
struct CommandResponse
{
    bool ok = true;
    QByteArray output; // printed as is on standard output
    QString error; // one line for standard error

    [[nodiscard]] QByteArray toJson() const;
    static Result<CommandResponse> fromJson(const QByteArray &line);
};

} // namespace scrivlet
