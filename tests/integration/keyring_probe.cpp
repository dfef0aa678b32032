// SPDX-License-Identifier: GPL-3.0-or-later
// One SecretServiceKeyring call on the session bus named by the environment,
// answered with one line: a process of its own because GDBus keeps the first
// session bus it meets for the whole process.
//
//   keyring_probe [--service S] [--account A] [--deadline-ms N]
//                 present | lookup | store HEX | watch | decide
//
// "present yes|no|unknown", "lookup found HEX[,HEX...] [| UNREAD]",
// "lookup notFound|locked|failed [REASON]", "store ok|error [REASON]".
// watch prints "watch waiting OUTCOME", then looks up without prompting at
// each announcement of the service until it finds the key: "watch found
// HEX...". decide prints the number of the launch's key decision for a
// history with no key check yet and a key file in $XDG_CONFIG_HOME.
#include "core/crypto/KeychainKey.h"
#include "platform/linux/KeyFile.h"
#include "platform/linux/SecretServiceKeyring.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

using namespace scrivlet;
using Outcome = Keyring::Lookup::Outcome;

int say(const QString &line)
{
    std::printf("%s\n", QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().data());
    std::fflush(stdout);
    return 0;
}

QString describe(const Keyring::Lookup &result)
{
    static const char *const kNames[] = {"found", "notFound", "locked", "failed"};
    QString line = QLatin1String(kNames[int(result.outcome)]);
    if (result.outcome != Outcome::found)
        return result.reason.isEmpty() ? line : line + QLatin1Char(' ') + result.reason;
    QStringList keys;
    for (const SecretBytes &secret : result.secrets)
        keys << QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(secret.data()), qsizetype(secret.size()))
                .toHex());
    line += QLatin1Char(' ') + keys.join(QLatin1Char(','));
    return result.unread.isEmpty() ? line : line + QStringLiteral(" | ") + result.unread;
}

int watch(int argc, char **argv, SecretServiceKeyring &keyring)
{
    QCoreApplication app(argc, argv);
    // Listening first: an announcement between the lookup and the watch
    // would otherwise go unheard.
    keyring.watch([&keyring] {
        const auto result = keyring.lookup(Keyring::Prompt::never);
        if (result.outcome == Outcome::found) {
            say(QStringLiteral("watch ") + describe(result));
            QCoreApplication::quit();
        }
    });
    const auto first = keyring.lookup(Keyring::Prompt::never);
    if (first.outcome == Outcome::found)
        return say(QStringLiteral("watch found-at-once"));
    say(QStringLiteral("watch waiting ") + describe(first).section(QLatin1Char(' '), 0, 0));
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
    std::chrono::milliseconds reply = SecretServiceKeyring::kDefaultReplyDeadline;
    std::chrono::milliseconds prompt = SecretServiceKeyring::kDefaultPromptDeadline;
    while (args.size() >= 2 && args.front().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        if (option == QLatin1String("--service"))
            service = value;
        else if (option == QLatin1String("--account"))
            account = value;
        else if (option == QLatin1String("--deadline-ms"))
            reply = prompt = std::chrono::milliseconds(value.toInt());
    }
    SecretServiceKeyring keyring(service, account, reply, prompt);
    const QString command = args.value(0);
    if (command == QLatin1String("present")) {
        static const char *const kNames[] = {"yes", "no", "unknown"};
        return say(QStringLiteral("present ") + QLatin1String(kNames[int(keyring.presence())]));
    }
    if (command == QLatin1String("lookup"))
        return say(QStringLiteral("lookup ") + describe(keyring.lookup(Keyring::Prompt::allowed)));
    if (command == QLatin1String("store")) {
        const auto key = SecretBytes::fromByteArray(QByteArray::fromHex(args.value(1).toLatin1()));
        const Status stored = keyring.store(key);
        return say(stored.ok() ? QStringLiteral("store ok")
                               : QStringLiteral("store error ") + stored.error());
    }
    if (command == QLatin1String("decide")) {
        KeyFile file(qEnvironmentVariable("XDG_CONFIG_HOME"));
        const auto load = KeychainKey::loadOrCreate({}, keyring, file, Keyring::Prompt::allowed);
        return say(QStringLiteral("decide %1").arg(int(load.outcome)));
    }
    if (command == QLatin1String("watch"))
        return watch(argc, argv, keyring);
    std::fprintf(stderr, "keyring_probe: unknown command\n");
    return 2;
}
