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
    const QString name = arguments.first();
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (isListing(*command) && word == QLatin1String("--json")) {
            request.json = true;
        } else if (isListing(*command) && word == QLatin1String("--null")) {
            request.nullSeparated = true;
        } else if (isListing(*command) && word == QLatin1String("--limit")) {
            if (++i >= arguments.size() || !limitFrom(arguments.at(i)))
                return Error {QStringLiteral("%1: --limit takes a number from 0").arg(name)};
            request.limit = limitFrom(arguments.at(i));
        } else if (*command == Command::clear
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

    const auto expect = [&](qsizetype count, const char *what) -> std::optional<Error> {
        if (positional.size() == count)
            return std::nullopt;
        return Error {QStringLiteral("%1: expected %2").arg(name, QLatin1String(what))};
    };
    std::optional<Error> problem;
    if (takesTarget(*command)) {
        problem = expect(1, "one entry: its position (1, 2, …) or id:UUID");
        if (!problem && !isTarget(positional.first()))
            problem = Error {QStringLiteral("%1: \"%2\" is not a position or id:UUID")
                                 .arg(name, positional.first())};
        if (!problem)
            request.target = positional.first();
    } else if (*command == Command::search) {
        problem = expect(1, "one query (quote it if it has spaces)");
        if (!problem)
            request.query = positional.first();
    } else if (*command == Command::capture) {
        problem = expect(1, "on, off, toggle or status");
        const std::optional<Capture> capture
            = problem ? std::nullopt : captureNamed(positional.first());
        if (!problem && !capture)
            problem = Error {QStringLiteral("capture: expected on, off, toggle or status")};
        if (capture)
            request.capture = *capture;
    } else {
        problem = expect(0, "no other argument");
    }
    if (problem)
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
    const QJsonObject object = document.object();
    const QJsonValue commandValue = object.value(QStringLiteral("command"));
    const std::optional<Command> command
        = commandValue.isString() ? commandNamed(commandValue.toString()) : std::nullopt;
    if (!command)
        return Error {QStringLiteral("unknown command")};

    CommandRequest request;
    request.command = *command;
    QStringList allowed {QStringLiteral("command")};
    const auto text = [&](const char *key) -> std::optional<QString> {
        allowed << QLatin1String(key);
        const QJsonValue value = object.value(QLatin1String(key));
        return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
    };
    const auto flag = [&](const char *key) -> std::optional<bool> {
        allowed << QLatin1String(key);
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return false;
        return value.isBool() ? std::optional<bool>(value.toBool()) : std::nullopt;
    };

    if (*command == Command::search) {
        const auto query = text("query");
        if (!query)
            return Error {QStringLiteral("search: no query")};
        request.query = *query;
    }
    if (takesTarget(*command)) {
        const auto target = text("target");
        if (!target || !isTarget(*target))
            return Error {QStringLiteral("no such entry")};
        request.target = *target;
    }
    if (*command == Command::capture) {
        const auto capture = text("capture");
        const std::optional<Capture> value = capture ? captureNamed(*capture) : std::nullopt;
        if (!value)
            return Error {QStringLiteral("capture: expected on, off, toggle or status")};
        request.capture = *value;
    }
    if (isListing(*command)) {
        allowed << QStringLiteral("limit");
        const QJsonValue limit = object.value(QStringLiteral("limit"));
        if (!limit.isUndefined()) {
            const double number = limit.toDouble(-1);
            if (!limit.isDouble() || number != std::trunc(number) || number < 0
                || number > kMaxLimit)
                return Error {QStringLiteral("bad limit")};
            request.limit = int(number);
        }
        const auto json = flag("json");
        const auto nullSeparated = flag("null");
        if (!json || !nullSeparated)
            return Error {QStringLiteral("malformed request")};
        request.json = *json;
        request.nullSeparated = *nullSeparated;
    }
    if (*command == Command::clear) {
        const auto yes = flag("yes");
        if (!yes)
            return Error {QStringLiteral("malformed request")};
        request.yes = *yes;
    }
    for (const QString &key : object.keys()) {
        if (!allowed.contains(key))
            return Error {QStringLiteral("unexpected field \"%1\"").arg(key.left(40))};
    }
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
