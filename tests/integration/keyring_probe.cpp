// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: one SecretServiceKeyring call on the session bus named by the
// environment, answered with one line. A process of its own because GDBus
// keeps the first session bus connection for the whole process.
//
//   keyring_probe [--service S] [--account A] [--reply-ms N] [--prompt-ms N]
//                 present | lookup | lookup-quietly | store HEX | watch | decide
//
// Prints "present yes|no|unknown", "lookup found HEX[,HEX...] [| UNREAD]",
// "lookup notFound", "lookup locked|failed REASON", "store ok" or
// "store error REASON". lookup-quietly never asks to unlock. watch prints
// "watch waiting OUTCOME", then looks up quietly at each announcement of the
// service until it finds the key: "watch found HEX...". decide runs the
// launch's key decision for a history with no key check yet, a key file in
// $XDG_CONFIG_HOME: "decide OUTCOME".
#include "core/crypto/KeychainKey.h"
#include "platform/linux/KeyFile.h"
#include "platform/linux/SecretServiceKeyring.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>

namespace {

using scrivlet::SecretBytes;
using scrivlet::SecretServiceKeyring;
using Outcome = scrivlet::Keyring::Lookup::Outcome;

void say(const QString &line)
{
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::printf("%s\n", flat.toUtf8().constData());
}

int usage()
{
    std::fprintf(stderr,
        "usage: keyring_probe [--service S] [--account A] [--reply-ms N] [--prompt-ms N] "
        "present | lookup | lookup-quietly | store HEX | watch | decide\n");
    return 2;
}

const char *outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::found:
        return "found";
    case Outcome::notFound:
        return "notFound";
    case Outcome::locked:
        return "locked";
    case Outcome::failed:
        return "failed";
    }
    return "?";
}

QString describe(const scrivlet::Keyring::Lookup &result)
{
    QString line = QLatin1String(outcomeName(result.outcome));
    if (result.outcome == Outcome::found) {
        QStringList keys;
        for (const SecretBytes &secret : result.secrets)
            keys << QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(secret.data()),
                static_cast<qsizetype>(secret.size()))
                                            .toHex());
        line += QLatin1Char(' ') + keys.join(QLatin1Char(','));
        if (!result.unread.isEmpty())
            line += QStringLiteral(" | ") + result.unread;
    } else if (!result.reason.isEmpty()) {
        line += QLatin1Char(' ') + result.reason;
    }
    return line;
}

const char *presenceName(scrivlet::Keyring::Presence presence)
{
    switch (presence) {
    case scrivlet::Keyring::Presence::present:
        return "yes";
    case scrivlet::Keyring::Presence::absent:
        return "no";
    case scrivlet::Keyring::Presence::unknown:
        return "unknown";
    }
    return "?";
}

const char *decisionName(scrivlet::KeyLoad::Outcome outcome)
{
    using O = scrivlet::KeyLoad::Outcome;
    switch (outcome) {
    case O::loaded:
        return "loaded";
    case O::created:
        return "created";
    case O::keyringLocked:
        return "keyringLocked";
    case O::keyringMissing:
        return "keyringMissing";
    case O::keyringFailed:
        return "keyringFailed";
    case O::keyLost:
        return "keyLost";
    case O::keyMismatch:
        return "keyMismatch";
    case O::keyUnusable:
        return "keyUnusable";
    case O::keyAmbiguous:
        return "keyAmbiguous";
    case O::storeFailed:
        return "storeFailed";
    case O::historyUnreadable:
        return "historyUnreadable";
    case O::recordNotSaved:
        return "recordNotSaved";
    }
    return "?";
}

int watch(int argc, char **argv, SecretServiceKeyring &keyring)
{
    using Prompt = scrivlet::Keyring::Prompt;
    QCoreApplication app(argc, argv);
    const auto tryNow = [&keyring, &app] {
        const auto result = keyring.lookup(Prompt::never);
        if (result.outcome != Outcome::found)
            return false;
        say(QStringLiteral("watch ") + describe(result));
        app.quit();
        return true;
    };
    // Listening first: an announcement between the lookup and the watch
    // would otherwise go unheard.
    keyring.watch([&tryNow] { (void)tryNow(); });
    const auto first = keyring.lookup(Prompt::never);
    if (first.outcome == Outcome::found) {
        say(QStringLiteral("watch found-at-once"));
        return 0;
    }
    say(QStringLiteral("watch waiting ") + QLatin1String(outcomeName(first.outcome)));
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QString service = QString::fromLatin1(SecretServiceKeyring::kDefaultService);
    QString account = QString::fromLatin1(SecretServiceKeyring::kDefaultAccount);
    std::chrono::milliseconds replyDeadline = SecretServiceKeyring::kDefaultReplyDeadline;
    std::chrono::milliseconds promptDeadline = SecretServiceKeyring::kDefaultPromptDeadline;
    while (args.size() >= 2 && args.front().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        bool ok = true;
        if (option == QLatin1String("--service"))
            service = value;
        else if (option == QLatin1String("--account"))
            account = value;
        else if (option == QLatin1String("--reply-ms"))
            replyDeadline = std::chrono::milliseconds(value.toInt(&ok));
        else if (option == QLatin1String("--prompt-ms"))
            promptDeadline = std::chrono::milliseconds(value.toInt(&ok));
        else
            return usage();
        if (!ok)
            return usage();
    }
    if (args.isEmpty())
        return usage();

    SecretServiceKeyring keyring(service, account, replyDeadline, promptDeadline);
    const QString command = args.takeFirst();
    using Prompt = scrivlet::Keyring::Prompt;
    if (command == QLatin1String("present") && args.isEmpty()) {
        say(QStringLiteral("present ") + QLatin1String(presenceName(keyring.presence())));
    } else if ((command == QLatin1String("lookup") || command == QLatin1String("lookup-quietly"))
        && args.isEmpty()) {
        const Prompt prompt = command == QLatin1String("lookup") ? Prompt::allowed : Prompt::never;
        say(QStringLiteral("lookup ") + describe(keyring.lookup(prompt)));
    } else if (command == QLatin1String("store") && args.size() == 1) {
        const QByteArray key = QByteArray::fromHex(args.front().toLatin1());
        const auto stored = keyring.store(SecretBytes::fromByteArray(key));
        say(stored.ok() ? QStringLiteral("store ok")
                        : QStringLiteral("store error %1").arg(stored.error()));
    } else if (command == QLatin1String("decide") && args.isEmpty()) {
        scrivlet::KeyFile file(qEnvironmentVariable("XDG_CONFIG_HOME"));
        const auto load = scrivlet::KeychainKey::loadOrCreate({}, keyring, file, Prompt::allowed);
        say(QStringLiteral("decide ") + QLatin1String(decisionName(load.outcome)));
    } else if (command == QLatin1String("watch") && args.isEmpty()) {
        return watch(argc, argv, keyring);
    } else {
        return usage();
    }
    return 0;
}
