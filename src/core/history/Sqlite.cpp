// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sqlite.h"

namespace scrivlet::sqlite {

QString lastError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

Statement::Statement(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK)
        m_stmt.reset(stmt);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt.get());
    sqlite3_clear_bindings(m_stmt.get());
}

void Statement::bind(int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt.get(), index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const std::optional<QString> &value)
{
    value ? bind(index, *value) : bindNull(index);
}

void Statement::bind(int index, const QByteArray &value)
{
    // A zero-length blob, not NULL: an empty payload and an absent one differ.
    sqlite3_bind_blob(m_stmt.get(), index, value.isEmpty() ? "" : value.constData(),
        int(value.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const std::optional<QByteArray> &value)
{
    value ? bind(index, *value) : bindNull(index);
}

void Statement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_stmt.get(), index, value);
}

void Statement::bind(int index, double value)
{
    sqlite3_bind_double(m_stmt.get(), index, value);
}

void Statement::bind(int index, const std::optional<double> &value)
{
    value ? bind(index, *value) : bindNull(index);
}

void Statement::bindNull(int index)
{
    sqlite3_bind_null(m_stmt.get(), index);
}

int Statement::step()
{
    return sqlite3_step(m_stmt.get());
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL;
}

QString Statement::text(int column) const
{
    // The pointer must be taken before the length (SQLite's rule).
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt.get(), column));
    const int length = sqlite3_column_bytes(m_stmt.get(), column);
    return QString::fromUtf8(data, length);
}

QByteArray Statement::blob(int column) const
{
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt.get(), column));
    const int length = sqlite3_column_bytes(m_stmt.get(), column);
    return QByteArray(data, length);
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt.get(), column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt.get(), column);
}

Status execute(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        Error error {QString::fromUtf8(message ? message : sqlite3_errmsg(db))};
        sqlite3_free(message);
        return error;
    }
    return success();
}

} // namespace scrivlet::sqlite
