// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: one SecretServiceKeyring call on the session bus named by the
// environment, answered with one line. A process of its own because GDBus
// keeps the first session bus connection for the whole process.
//
//   keyring_probe [--service S] [--account A] [--reply-ms N] [--prompt-ms N]
//                 present | lookup | store HEX
//
// Prints "present yes|no", "lookup found HEX", "lookup notFound",
// "lookup locked|failed REASON", "store ok" or "store error REASON".
#include "platform/linux/SecretServiceKeyring.h"

#include <QByteArray>
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
        "present | lookup | store HEX\n");
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
    if (command == QLatin1String("present") && args.isEmpty()) {
        say(keyring.isPresent() ? QStringLiteral("present yes") : QStringLiteral("present no"));
    } else if (command == QLatin1String("lookup") && args.isEmpty()) {
        const auto result = keyring.lookup();
        QString line = QStringLiteral("lookup %1").arg(QLatin1String(outcomeName(result.outcome)));
        if (result.outcome == Outcome::found) {
            const QByteArray bytes(reinterpret_cast<const char *>(result.secret.data()),
                static_cast<qsizetype>(result.secret.size()));
            line += QLatin1Char(' ') + QString::fromLatin1(bytes.toHex());
        } else if (!result.reason.isEmpty()) {
            line += QLatin1Char(' ') + result.reason;
        }
        say(line);
    } else if (command == QLatin1String("store") && args.size() == 1) {
        const QByteArray key = QByteArray::fromHex(args.front().toLatin1());
        const auto stored = keyring.store(SecretBytes::fromByteArray(key));
        say(stored.ok() ? QStringLiteral("store ok")
                        : QStringLiteral("store error %1").arg(stored.error()));
    } else {
        return usage();
    }
    return 0;
}
