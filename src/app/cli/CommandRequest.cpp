// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandRequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <array>
#include <cmath>
#include <utility>

namespace scrivlet {

namespace {

using Command = CommandRequest::Command;
using Capture = CommandRequest::Capture;

constexpr std::array<std::pair<Command, const char *>, 13> kCommands {{
    {Command::toggle, "toggle"},
    {Command::show, "show"},
    {Command::hide, "hide"},
    {Command::settings, "settings"},
    {Command::list, "list"},
    {Command::search, "search"},
    {Command::copy, "copy"},
    {Command::paste, "paste"},
    {Command::pin, "pin"},
    {Command::unpin, "unpin"},
    {Command::remove, "delete"},
    {Command::clear, "clear"},
    {Command::capture, "capture"},
}};

constexpr std::array<std::pair<Capture, const char *>, 4> kCaptures {{
    {Capture::on, "on"},
    {Capture::off, "off"},
    {Capture::toggle, "toggle"},
    {Capture::status, "status"},
}};

std::optional<Command> commandNamed(const QString &name)
{
    for (const auto &[command, text] : kCommands) {
        if (name == QLatin1String(text))
            return command;
    }
    return std::nullopt;
}

std::optional<Capture> captureNamed(const QString &name)
{
    for (const auto &[capture, text] : kCaptures) {
        if (name == QLatin1String(text))
            return capture;
    }
    return std::nullopt;
}

QString captureName(Capture capture)
{
    for (const auto &[value, text] : kCaptures) {
        if (value == capture)
            return QLatin1String(text);
    }
    return {};
}

bool takesTarget(Command command)
{
    return command == Command::copy || command == Command::paste || command == Command::pin
        || command == Command::unpin || command == Command::remove;
}

bool isListing(Command command)
{
    return command == Command::list || command == Command::search;
}

// "3" (a position from 1) or "id:" and a UUID.
bool isTarget(const QString &target)
{
    if (target.startsWith(QLatin1String("id:")))
        return !QUuid::fromString(QStringView(target).mid(3)).isNull();
    bool number = false;
    const int position = target.toInt(&number);
    return number && position >= 1 && !target.startsWith(QLatin1Char('+'));
}

std::optional<int> limitFrom(const QString &text)
{
    bool number = false;
    const int limit = text.toInt(&number);
    if (!number || limit < 0 || limit > CommandRequest::kMaxLimit)
        return std::nullopt;
    return limit;
}

// The options of `arguments` after the command's name; the other words go
// to `positional`, in order.
std::optional<Error> takeOptions(
    CommandRequest &request, const QStringList &arguments, QStringList &positional)
{
    const QString &name = arguments.first();
    const bool listing = isListing(request.command);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (listing && word == QLatin1String("--json")) {
            request.json = true;
        } else if (listing && word == QLatin1String("--null")) {
            request.nullSeparated = true;
        } else if (listing && word == QLatin1String("--limit")) {
            if (++i >= arguments.size() || !limitFrom(arguments.at(i)))
                return Error {QStringLiteral("%1: --limit takes a number from 0").arg(name)};
            request.limit = limitFrom(arguments.at(i));
        } else if (request.command == Command::clear
            && (word == QLatin1String("--yes") || word == QLatin1String("-y"))) {
            request.yes = true;
        } else if (word == QLatin1String("--")) {
            positional.append(arguments.mid(i + 1));
            break;
        } else if (word.startsWith(QLatin1String("--"))) {
            return Error {QStringLiteral("%1: unknown option %2").arg(name, word)};
        } else {
            positional.append(word);
        }
    }
    return std::nullopt;
}

std::optional<Error> takePositional(
    CommandRequest &request, const QString &name, const QStringList &positional)
{
    const auto expect = [&](qsizetype count, const char *what) -> std::optional<Error> {
        if (positional.size() == count)
            return std::nullopt;
        return Error {QStringLiteral("%1: expected %2").arg(name, QLatin1String(what))};
    };
    if (takesTarget(request.command)) {
        if (auto problem = expect(1, "one entry: its position (1, 2, …) or id:UUID"))
            return problem;
        if (!isTarget(positional.first()))
            return Error {QStringLiteral("%1: \"%2\" is not a position or id:UUID")
                              .arg(name, positional.first())};
        request.target = positional.first();
        return std::nullopt;
    }
    if (request.command == Command::search) {
        if (auto problem = expect(1, "one query (quote it if it has spaces)"))
            return problem;
        request.query = positional.first();
        return std::nullopt;
    }
    if (request.command == Command::capture) {
        if (auto problem = expect(1, "on, off, toggle or status"))
            return problem;
        const std::optional<Capture> capture = captureNamed(positional.first());
        if (!capture)
            return Error {QStringLiteral("capture: expected on, off, toggle or status")};
        request.capture = *capture;
        return std::nullopt;
    }
    return expect(0, "no other argument");
}

// The fields of a request object; those read are the ones it may have.
class Fields
{
public:
    explicit Fields(QJsonObject object)
        : m_object(std::move(object))
    { }

    QJsonValue value(const char *key)
    {
        m_allowed << QLatin1String(key);
        return m_object.value(QLatin1String(key));
    }
    std::optional<QString> text(const char *key)
    {
        const QJsonValue found = value(key);
        return found.isString() ? std::optional<QString>(found.toString()) : std::nullopt;
    }
    // Absent is false; anything but a boolean is malformed.
    std::optional<bool> flag(const char *key)
    {
        const QJsonValue found = value(key);
        if (found.isUndefined())
            return false;
        return found.isBool() ? std::optional<bool>(found.toBool()) : std::nullopt;
    }
    [[nodiscard]] std::optional<QString> unexpected() const
    {
        for (const QString &key : m_object.keys()) {
            if (!m_allowed.contains(key))
                return key;
        }
        return std::nullopt;
    }

private:
    QJsonObject m_object;
    QStringList m_allowed;
};

std::optional<Error> takeListingFields(CommandRequest &request, Fields &fields)
{
    const QJsonValue limit = fields.value("limit");
    if (!limit.isUndefined()) {
        const double number = limit.toDouble(-1);
        if (!limit.isDouble() || number != std::trunc(number) || number < 0
            || number > CommandRequest::kMaxLimit)
            return Error {QStringLiteral("bad limit")};
        request.limit = int(number);
    }
    const auto json = fields.flag("json");
    const auto nullSeparated = fields.flag("null");
    if (!json || !nullSeparated)
        return Error {QStringLiteral("malformed request")};
    request.json = *json;
    request.nullSeparated = *nullSeparated;
    return std::nullopt;
}

// The fields `request.command` takes, each checked.
std::optional<Error> takeFields(CommandRequest &request, Fields &fields)
{
    if (request.command == Command::search) {
        const auto query = fields.text("query");
        if (!query)
            return Error {QStringLiteral("search: no query")};
        request.query = *query;
    }
    if (takesTarget(request.command)) {
        const auto target = fields.text("target");
        if (!target || !isTarget(*target))
            return Error {QStringLiteral("no such entry")};
        request.target = *target;
    }
    if (request.command == Command::capture) {
        const auto capture = fields.text("capture");
        const std::optional<Capture> value = capture ? captureNamed(*capture) : std::nullopt;
        if (!value)
            return Error {QStringLiteral("capture: expected on, off, toggle or status")};
        request.capture = *value;
    }
    if (isListing(request.command)) {
        if (auto problem = takeListingFields(request, fields))
            return problem;
    }
    if (request.command == Command::clear) {
        const auto yes = fields.flag("yes");
        if (!yes)
            return Error {QStringLiteral("malformed request")};
        request.yes = *yes;
    }
    return std::nullopt;
}

} // namespace

QString CommandRequest::name(Command command)
{
    for (const auto &[value, text] : kCommands) {
        if (value == command)
            return QLatin1String(text);
    }
    return {};
}

Result<CommandRequest> CommandRequest::fromArguments(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return Error {QStringLiteral("no command given")};
    const std::optional<Command> command = commandNamed(arguments.first());
    if (!command)
        return Error {
            QStringLiteral("unknown command \"%1\" (see scrivlet --help)").arg(arguments.first())};
    CommandRequest request;
    request.command = *command;
    QStringList positional;
    if (std::optional<Error> problem = takeOptions(request, arguments, positional))
        return *problem;
    if (std::optional<Error> problem = takePositional(request, arguments.first(), positional))
        return *problem;
    return request;
}

QByteArray CommandRequest::toJson() const
{
    QJsonObject object {{QStringLiteral("command"), name(command)}};
    if (command == Command::search)
        object.insert(QStringLiteral("query"), query);
    if (takesTarget(command))
        object.insert(QStringLiteral("target"), target);
    if (command == Command::capture)
        object.insert(QStringLiteral("capture"), captureName(capture));
    if (isListing(command)) {
        if (limit)
            object.insert(QStringLiteral("limit"), *limit);
        object.insert(QStringLiteral("json"), json);
        object.insert(QStringLiteral("null"), nullSeparated);
    }
    if (command == Command::clear)
        object.insert(QStringLiteral("yes"), yes);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Result<CommandRequest> CommandRequest::fromJson(const QByteArray &line)
{
    if (line.size() > kMaxLine)
        return Error {QStringLiteral("request too long")};
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return Error {QStringLiteral("malformed request")};
    Fields fields(document.object());
    const std::optional<QString> commandName = fields.text("command");
    const std::optional<Command> command = commandName ? commandNamed(*commandName) : std::nullopt;
    if (!command)
        return Error {QStringLiteral("unknown command")};

    CommandRequest request;
    request.command = *command;
    if (std::optional<Error> problem = takeFields(request, fields))
        return *problem;
    if (const std::optional<QString> key = fields.unexpected())
        return Error {QStringLiteral("unexpected field \"%1\"").arg(key->left(40))};
    return request;
}

QByteArray CommandResponse::toJson() const
{
    QJsonObject object {{QStringLiteral("ok"), ok}};
    if (!output.isEmpty())
        object.insert(QStringLiteral("output"), QString::fromUtf8(output));
    if (!error.isEmpty())
        object.insert(QStringLiteral("error"), error);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Result<CommandResponse> CommandResponse::fromJson(const QByteArray &line)
{
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()
        || !document.object().value(QStringLiteral("ok")).isBool())
        return Error {QStringLiteral("Scrivlet gave an answer that cannot be read")};
    const QJsonObject object = document.object();
    CommandResponse response;
    response.ok = object.value(QStringLiteral("ok")).toBool();
    response.output = object.value(QStringLiteral("output")).toString().toUtf8();
    response.error = object.value(QStringLiteral("error")).toString();
    return response;
}

} // namespace scrivlet
