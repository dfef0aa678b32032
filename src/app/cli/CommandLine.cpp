// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "app/SingleInstance.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace scrivlet::CommandLine {

namespace {

constexpr char kUsage[] = R"(Usage: scrivlet [COMMAND [ARGUMENTS]]
Keeps an encrypted history of what you copy, in the tray; Super+Shift+V
opens the palette. Without a command, starts Scrivlet.

Commands (to the running Scrivlet):
  toggle | show | hide     the palette (toggle and show start Scrivlet if needed)
  settings                 open the settings window (starts Scrivlet if needed)
  list [--limit N] [--json] [--null]
                           the history in display order:
                           N<TAB>kind<TAB>*(pinned)<TAB>preview
  search QUERY [--limit N] [--json] [--null]
                           the same, filtered like the palette (same positions)
  copy N                   put entry N on the clipboard
  paste N                  put entry N on the clipboard and paste it
  pin N | unpin N | delete N
  clear [--yes]            empty the history (asks unless --yes)
  capture on|off|toggle|status
N is a position from list (1, 2, ...) or id:UUID.
  --version, --help

Exit status: 0 on success, 1 with one line on standard error otherwise.
)";

int fail(const QString &message)
{
    std::fprintf(stderr, "scrivlet: %s\n", message.toLocal8Bit().constData());
    return 1;
}

// Asked on the terminal; anything but yes declines.
bool confirmClear()
{
    if (!::isatty(STDIN_FILENO))
        return false;
    std::fprintf(stderr, "Clear the whole history? [y/N] ");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "o" || answer == "oui";
}

} // namespace

Outcome run(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.isEmpty())
        return {};
    if (arguments.first() == QLatin1String("--version")) {
        std::printf("scrivlet %s\n", SCRIVLET_VERSION);
        return {0};
    }
    if (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h")) {
        std::fputs(kUsage, stdout);
        return {0};
    }
    Result<CommandRequest> parsed = CommandRequest::fromArguments(arguments);
    if (!parsed)
        return {fail(parsed.error())};
    CommandRequest request = std::move(parsed).value();
    if (request.command == CommandRequest::Command::clear && !request.yes) {
        if (!::isatty(STDIN_FILENO))
            return {fail(QStringLiteral("clear: not on a terminal; add --yes to clear without "
                                        "asking"))};
        if (!confirmClear())
            return {fail(QStringLiteral("clear: declined; the history is unchanged"))};
        request.yes = true;
    }
    SingleInstance::SendFailure failure;
    const std::optional<CommandResponse> response = SingleInstance::send(request, &failure);
    if (!response) {
        // A desktop's shortcut bound to these must always work.
        if (request.startsScrivlet() && failure.notRunning) {
            const bool settings = request.command == CommandRequest::Command::settings;
            return {std::nullopt, !settings, settings};
        }
        return {fail(failure.why)};
    }
    std::fwrite(response->output.constData(), 1, std::size_t(response->output.size()), stdout);
    std::fflush(stdout);
    if (!response->ok)
        return {fail(response->error)};
    return {0};
}

} // namespace scrivlet::CommandLine
