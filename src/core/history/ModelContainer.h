// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ModelContext.h"
#include "Sqlite.h"
#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace scrivlet {

// The history database: `history.sqlite` in the data folder, one table of
// records and a small table for everything else (the key check, ...).
class ModelContainer
{
public:
    static constexpr int kSchemaVersion = 2;
    static constexpr char kFileName[] = "history.sqlite";

    enum class Failure {
        folder, // the data folder cannot be made or is not a folder
        open, // the file cannot be opened or written
        damaged, // not an SQLite database, or its records cannot be read
        newer, // written by a later version of Scrivlet
    };
    struct OpenError
    {
        Failure failure;
        QString message;
    };

    // Opens or creates the history in `folder`. A database that cannot be
    // opened, or one from a newer version, is left exactly as it was.
    static Result<std::unique_ptr<ModelContainer>> open(
        const QString &folder, OpenError *why = nullptr);

    ~ModelContainer();

    [[nodiscard]] ModelContext &mainContext() { return *m_context; }
    [[nodiscard]] QString filePath() const { return m_path; }

    // Absent when no value is stored; an error only when reading failed.
    [[nodiscard]] Result<std::optional<QByteArray>> meta(const QString &key) const;
    [[nodiscard]] Status setMeta(const QList<std::pair<QString, QByteArray>> &values);

private:
    ModelContainer(sqlite::Database db, QString path);

    sqlite::Database m_db;
    QString m_path;
    std::unique_ptr<ModelContext> m_context;
};

} // namespace scrivlet
