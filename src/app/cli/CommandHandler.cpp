// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandHandler.h"

#include "HistoryListing.h"
#include "core/history/ClipStore.h"
#include "core/services/KeySender.h"
#include "core/services/Workspace.h"
#include "core/settings/AppSettings.h"
#include "core/settings/PasteKeys.h"
#include "ui/Paster.h"

#include <QTimer>
#include <QUuid>
#include <limits>

namespace scrivlet {

namespace {

using Command = CommandRequest::Command;

CommandResponse failure(const QString &error)
{
    return CommandResponse {false, {}, error};
}

CommandResponse done(QByteArray output = {})
{
    return CommandResponse {true, std::move(output), {}};
}

} // namespace

CommandHandler::CommandHandler(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{ }

void CommandHandler::handle(const CommandRequest &request, const Reply &reply)
{
    switch (request.command) {
    case Command::toggle:
        Q_EMIT toggleRequested();
        return reply(done());
    case Command::show:
        Q_EMIT showRequested();
        return reply(done());
    case Command::hide:
        Q_EMIT hideRequested();
        return reply(done());
    case Command::settings:
        Q_EMIT settingsRequested();
        return reply(done());
    case Command::capture:
        return reply(capture(request));
    default:
        break;
    }
    // Everything else needs the history open.
    ClipStore *store = m_services.store();
    if (!store)
        return reply(failure(QStringLiteral("the history is not open yet (Scrivlet is waiting for "
                                            "the keyring)")));
    switch (request.command) {
    case Command::list:
    case Command::search:
        return reply(listing(request));
    case Command::copy:
    case Command::paste:
        return copy(request, reply);
    case Command::pin:
    case Command::unpin:
    case Command::remove: {
        const Result<ClipItemPtr> item = find(request.target);
        if (!item)
            return reply(failure(item.error()));
        if (request.command == Command::remove)
            store->deleteItem(item.value());
        else if (item.value()->isPinned() != (request.command == Command::pin))
            store->togglePin(item.value());
        return reply(done());
    }
    case Command::clear:
        // The command line asked the user, or was told not to.
        if (!request.yes)
            return reply(failure(QStringLiteral("clear: not confirmed")));
        store->clearAll();
        return reply(done());
    default:
        return reply(failure(QStringLiteral("unknown command")));
    }
}

std::vector<ClipItemPtr> CommandHandler::displayed(std::optional<int> limit) const
{
    // The palette's order, pinned first, over the whole history: a limit
    // cuts the list, it never moves an older pinned entry out of it.
    std::vector<ClipItemPtr> items
        = m_services.store()->recentItems(std::numeric_limits<int>::max());
    if (limit && std::size_t(*limit) < items.size())
        items.resize(std::size_t(*limit));
    return items;
}

Result<ClipItemPtr> CommandHandler::find(const QString &target) const
{
    if (target.startsWith(QLatin1String("id:"))) {
        const QUuid id = QUuid::fromString(QStringView(target).mid(3));
        for (const ClipItemPtr &item : displayed(std::nullopt)) {
            if (item->id() == id)
                return item;
        }
        return Error {QStringLiteral("no entry has the id %1").arg(target.mid(3))};
    }
    bool number = false;
    const int position = target.toInt(&number);
    if (!number || position < 1)
        return Error {QStringLiteral("\"%1\" is not a position").arg(target)};
    const std::vector<ClipItemPtr> items = displayed(position);
    if (position > int(items.size()))
        return Error {QStringLiteral("no entry at position %1 (the history has %2)")
                          .arg(position)
                          .arg(items.size())};
    return items[std::size_t(position - 1)];
}

CommandResponse CommandHandler::listing(const CommandRequest &request) const
{
    std::vector<HistoryListing::Entry> entries;
    // A blank query keeps every entry, as listing does.
    if (request.command == Command::search && !request.query.trimmed().isEmpty()) {
        // Positions are those of the whole list, so that "copy N" after a
        // search copies what the search showed.
        const int limit = request.limit.value_or(std::numeric_limits<int>::max());
        for (const ClipStore::Found &found :
            m_services.store()->search(request.query, limit, /*withPositions=*/true))
            entries.push_back({found.position, found.item});
    } else {
        int position = 0;
        for (const ClipItemPtr &item : displayed(request.limit))
            entries.push_back({++position, item});
    }
    return done(request.json ? HistoryListing::json(entries)
                             : HistoryListing::lines(entries, request.nullSeparated));
}

CommandResponse CommandHandler::capture(const CommandRequest &request)
{
    AppSettings &settings = m_services.settings;
    switch (request.capture) {
    case CommandRequest::Capture::on:
        settings.setCaptureEnabled(true);
        break;
    case CommandRequest::Capture::off:
        settings.setCaptureEnabled(false);
        break;
    case CommandRequest::Capture::toggle:
        settings.setCaptureEnabled(!settings.captureEnabled());
        break;
    case CommandRequest::Capture::status: {
        // The first word of the first line stays what scripts read.
        QByteArray status;
        const QString unavailable = m_services.captureUnavailable();
        if (!settings.captureEnabled())
            status = "off\n";
        else if (!unavailable.isEmpty())
            status = "on, but nothing is recorded: " + unavailable.toUtf8() + '\n';
        else
            status = "on\n";
        const QStringList withheld = m_services.withheld();
        for (const QString &line : withheld)
            status += line.toUtf8() + '\n';
        return done(status);
    }
    }
    return done();
}

void CommandHandler::copy(const CommandRequest &request, const Reply &reply)
{
    const Result<ClipItemPtr> item = find(request.target);
    if (!item)
        return reply(failure(item.error()));
    const Services &services = m_services;
    if (!Paster::writeItem(
            *item.value(), false, services.store()->imageStore(), services.pasteboard))
        return reply(
            failure(QStringLiteral("entry %1 has nothing to put on the clipboard (its image "
                                   "is missing or damaged)")
                        .arg(request.target)));
    if (request.command == Command::copy)
        return reply(done());
    if (!services.keys.isTrusted())
        return reply(failure(QStringLiteral("the entry is on the clipboard, but this session does "
                                            "not let Scrivlet paste: paste it with Ctrl+V")));
    // Into the window in front when asked, and only if it still is.
    const std::optional<WindowRef> target = services.workspace.activeWindow();
    if (!target)
        return reply(
            failure(QStringLiteral("the entry is on the clipboard; no window is in front to "
                                   "paste into")));
    QTimer::singleShot(kKeystrokeDelayMs, this, [this, reply, target = *target] {
        const Services &services = m_services;
        const std::optional<WindowRef> active = services.workspace.activeWindow();
        if (!active || active->id != target.id)
            return reply(failure(QStringLiteral("the entry is on the clipboard; the window changed "
                                                "before it could be pasted")));
        const PasteKey key = pasteKeyFor(
            target.applicationId, target.windowClass, services.applications, services.defaults);
        Paster::simulatePasteKeystroke(services.keys, key);
        reply(done());
    });
}

} // namespace scrivlet
