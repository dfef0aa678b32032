// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeychainKey.h"

#include "Digest.h"
#include "core/history/ModelContainer.h"
#include "core/services/Keyring.h"

#include <QCoreApplication>
#include <algorithm>
#include <openssl/rand.h>

namespace scrivlet::KeychainKey {

namespace {

QString tr(const char *text)
{
    // The context lupdate gives tr() calls in this namespace.
    return QCoreApplication::translate("scrivlet::KeychainKey", text);
}

KeyLoad refuse(KeyLoad::Outcome outcome, QString message)
{
    KeyLoad load;
    load.outcome = outcome;
    load.message = std::move(message);
    return load;
}

KeyLoad lookupFailure(const Keyring::Lookup &lookup)
{
    if (lookup.outcome == Keyring::Lookup::Outcome::locked)
        return refuse(KeyLoad::Outcome::keyringLocked,
            tr("Le trousseau est verrouillé : Scrivlet n'enregistre rien tant qu'il n'est pas "
               "déverrouillé."));
    return refuse(KeyLoad::Outcome::keyringFailed,
        tr("Le trousseau ne répond pas (%1) : Scrivlet n'enregistre rien pour l'instant.")
            .arg(lookup.reason));
}

} // namespace

QByteArray keyCheck(const SecretBytes &key)
{
    return digest::hmacSha256(key, QByteArrayLiteral("org.scrivlet.Scrivlet/key-check/v1"));
}

bool isUsableKey(const SecretBytes &key)
{
    return key.size() == 16 || key.size() == 24 || key.size() == 32;
}

namespace {

KeyLoad adopt(const SecretBytes &key, const KeyRecord &record, const QString &source)
{
    KeyLoad load;
    load.outcome = KeyLoad::Outcome::loaded;
    if (!record.check || record.source != source)
        load.recordToSave = KeyRecord {keyCheck(key), source};
    load.key = key;
    return load;
}

KeyLoad unusable(const SecretBytes &key)
{
    return refuse(KeyLoad::Outcome::keyUnusable,
        tr("La clé rangée pour Scrivlet fait %1 octets, une longueur qu'AES n'accepte pas : "
           "Scrivlet n'enregistre rien et ne remplace pas cette clé. Retirez-la du trousseau si "
           "elle ne sert à rien d'autre.")
            .arg(key.size()));
}

// Every item is tried against the key check: a stray item must not hide
// the history's key, nor be taken for it.
KeyLoad chooseAmong(const Keyring::Lookup &found, const KeyRecord &record, const QString &source)
{
    if (record.check) {
        for (const SecretBytes &secret : found.secrets) {
            if (keyCheck(secret) == *record.check)
                return isUsableKey(secret) ? adopt(secret, record, source) : unusable(secret);
        }
        if (!found.unread.isEmpty())
            return refuse(KeyLoad::Outcome::keyringLocked,
                tr("La clé de l'historique n'est pas parmi celles que le trousseau a laissé lire "
                   "(%1) : Scrivlet n'enregistre rien pour l'instant.")
                    .arg(found.unread));
        return refuse(KeyLoad::Outcome::keyMismatch,
            tr("La clé trouvée dans le trousseau n'est pas celle de l'historique : Scrivlet "
               "n'enregistre rien et ne touche pas à l'historique."));
    }
    std::vector<const SecretBytes *> usable;
    for (const SecretBytes &secret : found.secrets) {
        if (isUsableKey(secret) && std::ranges::none_of(usable, [&](const SecretBytes *seen) {
                return *seen == secret;
            }))
            usable.push_back(&secret);
    }
    if (usable.empty())
        return unusable(found.secrets.front());
    if (usable.size() > 1)
        return refuse(KeyLoad::Outcome::keyAmbiguous,
            tr("Le trousseau garde plusieurs clés différentes pour Scrivlet et l'historique ne dit "
               "pas laquelle est la sienne : Scrivlet n'enregistre rien et n'en remplace aucune. "
               "Ne gardez que la bonne dans le trousseau."));
    return adopt(*usable.front(), record, source);
}

} // namespace

KeyLoad loadOrCreate(
    const KeyRecord &record, Keyring &secretService, Keyring &keyFile, Keyring::Prompt prompt)
{
    using Presence = Keyring::Presence;
    const QString source = record.source.value_or(QString());
    bool useFile = source == QLatin1String(KeyRecord::kFileSource);
    if (!useFile) {
        // Asked once: the answer decides where the key lives for good.
        const Presence presence = secretService.presence();
        if (presence == Presence::unknown)
            return refuse(KeyLoad::Outcome::keyringFailed,
                tr("Le bus de session ne dit pas si un trousseau existe : Scrivlet n'enregistre "
                   "rien pour l'instant."));
        if (presence == Presence::absent && source == QLatin1String(KeyRecord::kKeyringSource))
            return refuse(KeyLoad::Outcome::keyringMissing,
                tr("Aucun trousseau n'est disponible dans cette session, alors que la clé de "
                   "l'historique y est rangée : Scrivlet n'enregistre rien."));
        useFile = presence == Presence::absent;
    }
    Keyring &keyring = useFile ? keyFile : secretService;
    const QString chosenSource
        = QLatin1String(useFile ? KeyRecord::kFileSource : KeyRecord::kKeyringSource);

    const Keyring::Lookup found = keyring.lookup(prompt);
    if (found.outcome == Keyring::Lookup::Outcome::found && !found.secrets.empty())
        return chooseAmong(found, record, chosenSource);
    if (found.outcome != Keyring::Lookup::Outcome::notFound)
        return lookupFailure(found);

    if (record.check)
        return refuse(KeyLoad::Outcome::keyLost,
            tr("La clé de l'historique a disparu du trousseau : les entrées existantes ne "
               "peuvent plus être lues. Scrivlet les garde telles quelles et n'enregistre "
               "rien."));

    SecretBytes key(kKeyLength);
    if (RAND_bytes(key.data(), int(key.size())) != 1)
        return refuse(KeyLoad::Outcome::storeFailed, tr("Impossible de créer une clé."));
    if (Status stored = keyring.store(key); !stored)
        return refuse(KeyLoad::Outcome::storeFailed,
            tr("La clé n'a pas pu être rangée dans le trousseau (%1) : Scrivlet n'enregistre "
               "rien.")
                .arg(stored.error()));
    KeyLoad load;
    load.outcome = KeyLoad::Outcome::created;
    load.recordToSave = KeyRecord {keyCheck(key), chosenSource};
    load.key = std::move(key);
    return load;
}

Result<KeyRecord> readRecord(const ModelContainer &container)
{
    const auto check = container.meta(QLatin1String(KeyRecord::kCheckName));
    const auto source = container.meta(QLatin1String(KeyRecord::kSourceName));
    if (!check || !source)
        return Error {check ? source.error() : check.error()};
    KeyRecord record;
    record.check = check.value();
    if (source.value())
        record.source = QString::fromUtf8(*source.value());
    return record;
}

Status saveRecord(ModelContainer &container, const KeyRecord &record)
{
    return container.setMeta({
        {QLatin1String(KeyRecord::kCheckName), record.check.value_or(QByteArray())},
        {QLatin1String(KeyRecord::kSourceName), record.source.value_or(QString()).toUtf8()},
    });
}

KeyLoad remember(ModelContainer &container, KeyLoad load)
{
    if (!load.recordToSave)
        return load;
    if (Status saved = saveRecord(container, *load.recordToSave); !saved)
        return refuse(KeyLoad::Outcome::recordNotSaved,
            tr("L'historique n'a pas pu noter sa clé (%1) : Scrivlet n'enregistre rien pour "
               "l'instant.")
                .arg(saved.error()));
    return load;
}

KeyLoad loadOrCreate(
    ModelContainer &container, Keyring &secretService, Keyring &keyFile, Keyring::Prompt prompt)
{
    const Result<KeyRecord> record = readRecord(container);
    if (!record)
        return refuse(KeyLoad::Outcome::historyUnreadable,
            tr("L'historique ne peut pas être lu (%1).").arg(record.error()));
    return remember(container, loadOrCreate(record.value(), secretService, keyFile, prompt));
}

} // namespace scrivlet::KeychainKey
