// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SecretBytes.h"
#include "core/Result.h"
#include "core/services/Keyring.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace scrivlet {

class ModelContainer;

// What the history remembers of its key: a keyed fingerprint (never the key)
// and where the key is kept, so that Scrivlet never flips between the keyring
// and the key file, and never takes a lost key for a first run.
struct KeyRecord
{
    static constexpr char kCheckName[] = "keyCheck";
    static constexpr char kSourceName[] = "keySource";
    static constexpr char kKeyringSource[] = "keyring";
    static constexpr char kFileSource[] = "file";

    std::optional<QByteArray> check;
    std::optional<QString> source;
};

struct KeyLoad
{
    enum class Outcome {
        loaded,
        created,
        keyringLocked,
        keyringMissing, // the history's key lives in a keyring this session lacks
        keyringFailed,
        keyLost, // the history has a key check but the key is gone
        keyMismatch, // the stored key is not the one the history was sealed with
        keyUnusable, // the stored key has a length AES cannot use
        keyAmbiguous, // several different keys and no key check to choose
        storeFailed,
        historyUnreadable,
        recordNotSaved, // the history could not note the key it is to be sealed with
    };

    Outcome outcome = Outcome::historyUnreadable;
    std::optional<SecretBytes> key;
    // What the history should remember from now on; absent when unchanged.
    std::optional<KeyRecord> recordToSave;
    // One sentence for the user when there is no key.
    QString message;

    [[nodiscard]] bool hasKey() const { return key.has_value(); }
};

// Finds the content key, or makes one on a first run. No key ever replaces
// another: every doubt leaves the stored key and the history as they are and
// yields no key, so that nothing is recorded under a key that would be lost.
namespace KeychainKey {

inline constexpr int kKeyLength = 32;

[[nodiscard]] QByteArray keyCheck(const SecretBytes &key);
// 16, 24 or 32 bytes: what AES-GCM accepts.
[[nodiscard]] bool isUsableKey(const SecretBytes &key);

// The decision alone; may block on an unlock prompt (where the prompt is
// allowed), so the application runs it away from its main thread.
[[nodiscard]] KeyLoad loadOrCreate(
    const KeyRecord &record, Keyring &secretService, Keyring &keyFile, Keyring::Prompt prompt);

// What the history remembers of its key; an error when it cannot be read.
[[nodiscard]] Result<KeyRecord> readRecord(const ModelContainer &container);
[[nodiscard]] Status saveRecord(ModelContainer &container, const KeyRecord &record);

// Notes in the history what the decision says it should remember. A key
// the history could not note is not handed out: content sealed under it
// would later be taken for a first run's.
[[nodiscard]] KeyLoad remember(ModelContainer &container, KeyLoad load);

// Reads the record from the history, decides, and remembers.
[[nodiscard]] KeyLoad loadOrCreate(
    ModelContainer &container, Keyring &secretService, Keyring &keyFile, Keyring::Prompt prompt);

} // namespace KeychainKey

} // namespace scrivlet
