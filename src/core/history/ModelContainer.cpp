// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModelContainer.h"

#include "core/Paths.h"

#include <QFile>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scrivlet {

namespace {

struct Column
{
    const char *name;
    const char *definition;
};

// The record table's columns; the two legacy payloads keep their former names.
constexpr Column kColumns[] = {
    {"id", "TEXT PRIMARY KEY NOT NULL"},
    {"createdAt", "REAL NOT NULL DEFAULT 0"},
    {"seq", "INTEGER NOT NULL DEFAULT 0"},
    {"kindRaw", "TEXT NOT NULL DEFAULT 'text'"},
    {"textCipher", "BLOB NOT NULL DEFAULT x''"},
    {"richCipher", "BLOB"},
    {"text", "TEXT"},
    {"richData", "BLOB"},
    {"contentHash", "TEXT NOT NULL DEFAULT ''"},
    {"imageFileRef", "TEXT"},
    {"sourceAppBundleID", "TEXT"},
    {"isPinned", "INTEGER NOT NULL DEFAULT 0"},
    {"pinnedAt", "REAL"},
    {"byteSize", "INTEGER NOT NULL DEFAULT 0"},
    // From version 2: the HTML of a rich-text entry, sealed.
    {"htmlCipher", "BLOB"},
};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

using Failure = ModelContainer::Failure;

// Why a history is not opened: the kind the caller acts on, and its words.
using Refusal = ModelContainer::OpenError;
using Check = std::optional<Refusal>;

Error failWith(ModelContainer::OpenError *why, Refusal refusal)
{
    if (why)
        *why = refusal;
    return Error {std::move(refusal.message)};
}

// An empty file is a valid empty database; making it ourselves gives it mode
// 0600 whatever the umask, and SQLite gives its -wal and -shm files the same.
Status createPrivateFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? success() : Status(Error {systemError()});
    ::fchmod(fd, 0600);
    ::close(fd);
    return success();
}

Result<int> readUserVersion(sqlite3 *db)
{
    sqlite::Statement query(db, "PRAGMA user_version");
    if (!query.isValid() || query.step() != SQLITE_ROW)
        return Error {sqlite::lastError(db)};
    return int(query.integer(0));
}

QStringList missingColumns(sqlite3 *db)
{
    QSet<QString> present;
    sqlite::Statement info(db, "PRAGMA table_info(ClipItem)");
    while (info.isValid() && info.step() == SQLITE_ROW)
        present.insert(info.text(1));
    QStringList missing;
    for (const Column &column : kColumns) {
        if (!present.contains(QLatin1String(column.name)))
            missing.append(QLatin1String(column.name));
    }
    return missing;
}

bool enableWal(sqlite3 *db)
{
    sqlite::Statement wal(db, "PRAGMA journal_mode=WAL");
    return wal.isValid() && wal.step() == SQLITE_ROW
        && wal.text(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
}

Status createOrCompleteSchema(sqlite3 *db)
{
    QString create = QStringLiteral("CREATE TABLE IF NOT EXISTS ClipItem (");
    for (const Column &column : kColumns)
        create += QStringLiteral("%1 %2,").arg(
            QLatin1String(column.name), QLatin1String(column.definition));
    create.chop(1);
    create += QStringLiteral(")");
    if (Status created = sqlite::execute(db, create.toUtf8().constData()); !created)
        return created;

    // A history from before this schema may lack columns; adding them keeps
    // every stored value.
    const QStringList missing = missingColumns(db);
    for (const Column &column : kColumns) {
        const QString name = QLatin1String(column.name);
        if (!missing.contains(name))
            continue;
        QString definition = QLatin1String(column.definition);
        definition.remove(QStringLiteral(" PRIMARY KEY"));
        const QString alter
            = QStringLiteral("ALTER TABLE ClipItem ADD COLUMN %1 %2").arg(name, definition);
        if (Status added = sqlite::execute(db, alter.toUtf8().constData()); !added)
            return added;
    }
    return sqlite::execute(db,
        "CREATE INDEX IF NOT EXISTS ClipItem_seq ON ClipItem(seq);"
        "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value BLOB);");
}

// Creates the file if it is missing, keeps it private, and opens it.
Check openPrivateFile(const QString &path, sqlite::Database &db)
{
    if (Status made = createPrivateFile(path); !made)
        return Refusal {
            Failure::open, QStringLiteral("cannot create %1: %2").arg(path, made.error())};

    const QByteArray native = QFile::encodeName(path);
    struct stat info
    { };
    if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return Refusal {Failure::open, QStringLiteral("%1 is not a file").arg(path)};
    if ((info.st_mode & 0777) != 0600)
        ::chmod(native.constData(), 0600); // best effort: the folder is private anyway

    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(native.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    db.reset(raw);
    if (opened != SQLITE_OK)
        return Refusal {Failure::open,
            QStringLiteral("cannot open %1: %2")
                .arg(path, raw ? sqlite::lastError(raw) : QString())};
    sqlite3_extended_result_codes(raw, 1);
    return std::nullopt;
}

// Decides from what the file holds whether it may be used at all; checked
// before anything writes, even the journal mode.
Check checkContents(sqlite3 *db, const QString &path, int &version)
{
    const Result<int> read = readUserVersion(db);
    if (!read)
        return Refusal {Failure::damaged,
            QStringLiteral("%1 is damaged or is not a Scrivlet history: %2")
                .arg(path, read.error())};
    version = read.value();
    if (version > ModelContainer::kSchemaVersion)
        return Refusal {Failure::newer,
            QStringLiteral(
                "%1 was written by a newer version of Scrivlet (format %2; this version reads "
                "up to %3)")
                .arg(path)
                .arg(version)
                .arg(ModelContainer::kSchemaVersion)};
    if (sqlite3_db_readonly(db, "main") == 1)
        return Refusal {Failure::open, QStringLiteral("%1 cannot be written").arg(path)};
    if (version == ModelContainer::kSchemaVersion && !missingColumns(db).isEmpty())
        return Refusal {Failure::damaged,
            QStringLiteral("%1 is damaged: its records lack %2")
                .arg(path, missingColumns(db).join(QStringLiteral(", ")))};
    return std::nullopt;
}

Status upgradeSchema(sqlite3 *db)
{
    Status upgraded = sqlite::execute(db, "BEGIN IMMEDIATE");
    if (upgraded)
        upgraded = createOrCompleteSchema(db);
    if (upgraded)
        upgraded = sqlite::execute(db,
            QStringLiteral("PRAGMA user_version=%1")
                .arg(ModelContainer::kSchemaVersion)
                .toUtf8()
                .constData());
    if (upgraded)
        upgraded = sqlite::execute(db, "COMMIT");
    if (!upgraded)
        (void)sqlite::execute(db, "ROLLBACK"); // nothing to keep from a failed upgrade
    return upgraded;
}

// The journal, the schema brought to this version, and the indexes.
Check prepare(sqlite3 *db, const QString &path, int version)
{
    sqlite3_busy_timeout(db, 5000);
    // NORMAL under WAL: a killed process loses nothing it saved; a power cut
    // may lose the last moments.
    if (!enableWal(db))
        return Refusal {Failure::open,
            QStringLiteral("cannot open %1 for writing: %2").arg(path, sqlite::lastError(db))};
    if (Status sync = sqlite::execute(db, "PRAGMA synchronous=NORMAL"); !sync)
        return Refusal {Failure::open, sync.error()};

    if (version < ModelContainer::kSchemaVersion) {
        if (Status upgraded = upgradeSchema(db); !upgraded)
            return Refusal {Failure::damaged,
                QStringLiteral("cannot prepare %1: %2").arg(path, upgraded.error())};
    }

    // Pruning reads the unpinned records newest first, or those past the
    // retention; the opening sweep and migration read the few records with an
    // image or a legacy payload. Without these, each reads every record.
    // Indexes only: a history with them still opens in an older Scrivlet.
    if (Status indexed = sqlite::execute(db,
            "CREATE INDEX IF NOT EXISTS ClipItem_unpinned_seq ON ClipItem(seq) WHERE isPinned = 0;"
            "CREATE INDEX IF NOT EXISTS ClipItem_unpinned_createdAt ON ClipItem(createdAt) "
            "WHERE isPinned = 0;"
            "CREATE INDEX IF NOT EXISTS ClipItem_imageFileRef ON ClipItem(imageFileRef) "
            "WHERE imageFileRef IS NOT NULL;"
            "CREATE INDEX IF NOT EXISTS ClipItem_legacy_seq ON ClipItem(seq) "
            "WHERE text IS NOT NULL OR richData IS NOT NULL");
        !indexed)
        return Refusal {Failure::open, indexed.error()};
    return std::nullopt;
}

} // namespace

Result<std::unique_ptr<ModelContainer>> ModelContainer::open(const QString &folder, OpenError *why)
{
    if (Status made = paths::ensurePrivateFolder(folder); !made)
        return failWith(why, {Failure::folder, made.error()});

    const QString path = folder + QLatin1Char('/') + QLatin1String(kFileName);
    sqlite::Database db;
    int version = 0;
    Check refused = openPrivateFile(path, db);
    if (!refused)
        refused = checkContents(db.get(), path, version);
    if (!refused)
        refused = prepare(db.get(), path, version);
    if (refused)
        return failWith(why, std::move(*refused));

    auto container = std::unique_ptr<ModelContainer>(new ModelContainer(std::move(db), path));
    if (!container->m_context->isValid())
        return failWith(why,
            {Failure::damaged,
                QStringLiteral("%1 is damaged or is not a Scrivlet history: %2")
                    .arg(path, sqlite::lastError(container->m_db.get()))});
    return container;
}

ModelContainer::ModelContainer(sqlite::Database db, QString path)
    : m_db(std::move(db))
    , m_path(std::move(path))
    , m_context(std::make_unique<ModelContext>(m_db.get()))
{ }

ModelContainer::~ModelContainer() = default;

Result<std::optional<QByteArray>> ModelContainer::meta(const QString &key) const
{
    sqlite::Statement query(m_db.get(), "SELECT value FROM meta WHERE key = ?1");
    if (!query.isValid())
        return Error {sqlite::lastError(m_db.get())};
    query.bind(1, key);
    switch (query.step()) {
    case SQLITE_ROW:
        return std::optional<QByteArray>(query.blob(0));
    case SQLITE_DONE:
        return std::optional<QByteArray>();
    default:
        return Error {sqlite::lastError(m_db.get())};
    }
}

Status ModelContainer::setMeta(const QList<std::pair<QString, QByteArray>> &values)
{
    sqlite3 *db = m_db.get();
    if (Status begun = sqlite::execute(db, "BEGIN IMMEDIATE"); !begun)
        return begun;
    sqlite::Statement upsert(db, "INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)");
    for (const auto &[key, value] : values) {
        upsert.reset();
        upsert.bind(1, key);
        upsert.bind(2, value);
        if (!upsert.isValid() || upsert.step() != SQLITE_DONE) {
            Error error {sqlite::lastError(db)};
            (void)sqlite::execute(db, "ROLLBACK"); // the error above is what matters
            return error;
        }
    }
    if (Status committed = sqlite::execute(db, "COMMIT"); !committed) {
        (void)sqlite::execute(db, "ROLLBACK");
        return committed;
    }
    return success();
}

} // namespace scrivlet
