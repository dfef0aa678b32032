// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeychainKey.h"

#include "Digest.h"
#include "ModelContainer.h"
#include "platform/Keyring.h"

#include <QCoreApplication>
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

KeyLoad loadOrCreate(const KeyRecord &record, Keyring &secretService, Keyring &keyFile)
{
    const QString source = record.source.value_or(QString());
    const bool useFile = source == QLatin1String(KeyRecord::kFileSource)
        || (source.isEmpty() && !secretService.isPresent());
    if (!useFile && source == QLatin1String(KeyRecord::kKeyringSource)
        && !secretService.isPresent())
        return refuse(KeyLoad::Outcome::keyringMissing,
            tr("Aucun trousseau n'est disponible dans cette session, alors que la clé de "
               "l'historique y est rangée : Scrivlet n'enregistre rien."));
    Keyring &keyring = useFile ? keyFile : secretService;
    const QString chosenSource
        = QLatin1String(useFile ? KeyRecord::kFileSource : KeyRecord::kKeyringSource);

    Keyring::Lookup found = keyring.lookup();
    if (found.outcome == Keyring::Lookup::Outcome::found) {
        if (record.check && keyCheck(found.secret) != *record.check)
            return refuse(KeyLoad::Outcome::keyMismatch,
                tr("La clé trouvée dans le trousseau n'est pas celle de l'historique : Scrivlet "
                   "n'enregistre rien et ne touche pas à l'historique."));
        KeyLoad load;
        load.outcome = KeyLoad::Outcome::loaded;
        if (!record.check || record.source != chosenSource)
            load.recordToSave = KeyRecord {keyCheck(found.secret), chosenSource};
        load.key = std::move(found.secret);
        return load;
    }
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

KeyLoad loadOrCreate(ModelContainer &container, Keyring &secretService, Keyring &keyFile)
{
    const Result<KeyRecord> record = readRecord(container);
    if (!record)
        return refuse(KeyLoad::Outcome::historyUnreadable,
            tr("L'historique ne peut pas être lu (%1).").arg(record.error()));
    KeyLoad load = loadOrCreate(record.value(), secretService, keyFile);
    // A key stored in the keyring but not remembered here is found again
    // next time; failing to remember it costs nothing else.
    if (load.recordToSave)
        (void)saveRecord(container, *load.recordToSave);
    return load;
}

} // namespace scrivlet::KeychainKey
