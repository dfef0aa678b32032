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
    std::printf("%s\n", QString(line).replace('\n', ' ').toUtf8().data());
    std::fflush(stdout);
    return 0;
}

QString describe(const Keyring::Lookup &result)
{
    static const char *const kNames[] = {"found", "notFound", "locked", "failed"};
    QString line = QString::fromLatin1(kNames[int(result.outcome)]);
    if (result.outcome != Outcome::found)
        return result.reason.isEmpty() ? line : line + ' ' + result.reason;
    QStringList keys;
    for (const SecretBytes &secret : result.secrets)
        keys << QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(secret.data()), qsizetype(secret.size()))
                .toHex());
    line += ' ' + keys.join(',');
    return result.unread.isEmpty() ? line : line + " | " + result.unread;
}

int watch(int argc, char **argv, SecretServiceKeyring &keyring)
{
    QCoreApplication app(argc, argv);
    // Listening first: an announcement between the lookup and the watch
    // would otherwise go unheard.
    // An unlock brings several announcements, some before the loop ends.
    bool found = false;
    keyring.watch([&keyring, &found] {
        if (found)
            return;
        const auto result = keyring.lookup(Keyring::Prompt::never);
        found = result.outcome == Outcome::found;
        if (found) {
            say("watch " + describe(result));
            QCoreApplication::quit();
        }
    });
    const auto first = keyring.lookup(Keyring::Prompt::never);
    if (first.outcome == Outcome::found)
        return say("watch found-at-once");
    say("watch waiting " + describe(first).section(' ', 0, 0));
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
    while (args.size() >= 2 && args.front().startsWith("--")) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        if (option == "--service")
            service = value;
        else if (option == "--account")
            account = value;
        else if (option == "--deadline-ms")
            reply = prompt = std::chrono::milliseconds(value.toInt());
    }
    SecretServiceKeyring keyring(service, account, reply, prompt);
    const QString command = args.value(0);
    if (command == "present") {
        static const char *const kNames[] = {"yes", "no", "unknown"};
        return say(QStringLiteral("present ") + kNames[int(keyring.presence())]);
    }
    if (command == "lookup")
        return say("lookup " + describe(keyring.lookup(Keyring::Prompt::allowed)));
    if (command == "store") {
        const Status stored = keyring.store(
            SecretBytes::fromByteArray(QByteArray::fromHex(args.value(1).toLatin1())));
        return say(stored.ok() ? "store ok" : "store error " + stored.error());
    }
    if (command == "decide") {
        KeyFile file(qEnvironmentVariable("XDG_CONFIG_HOME"));
        const auto load = KeychainKey::loadOrCreate({}, keyring, file, Keyring::Prompt::allowed);
        return say(QStringLiteral("decide %1").arg(int(load.outcome)));
    }
    if (command == "watch")
        return watch(argc, argv, keyring);
    std::fprintf(stderr, "keyring_probe: unknown command\n");
    return 2;
}
