// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <sqlite3.h>

namespace scrivlet::sqlite {

struct DatabaseDeleter
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseDeleter>;

[[nodiscard]] QString lastError(sqlite3 *db);

// One prepared statement; reset and rebound for each use.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql);

    [[nodiscard]] bool isValid() const { return m_stmt != nullptr; }
    void reset();

    void bind(int index, const QString &value);
    void bind(int index, const std::optional<QString> &value);
    void bind(int index, const QByteArray &value);
    void bind(int index, const std::optional<QByteArray> &value);
    void bind(int index, qint64 value);
    void bind(int index, double value);
    void bind(int index, const std::optional<double> &value);
    void bindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code.
    [[nodiscard]] int step();

    [[nodiscard]] bool isNull(int column) const;
    [[nodiscard]] QString text(int column) const;
    [[nodiscard]] QByteArray blob(int column) const;
    [[nodiscard]] qint64 integer(int column) const;
    [[nodiscard]] double real(int column) const;

private:
    struct Deleter
    {
        void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
    };
    std::unique_ptr<sqlite3_stmt, Deleter> m_stmt;
};

// Runs statements that return no rows.
[[nodiscard]] Status execute(sqlite3 *db, const char *sql);

} // namespace scrivlet::sqlite
