#include "Sqlite.h"

namespace orv::site {

CConnection::CConnection(const std::string& file, bool create) {
    const int flags =
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(file.c_str(), &m_db, flags, nullptr);
    if (code != SQLITE_OK) {
        const std::string what = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw SqliteError(code, what);
    }
    sqlite3_extended_result_codes(m_db, 1);
}

CConnection::~CConnection() {
    sqlite3_close(m_db);
}

void CConnection::Fail(int code) const {
    throw SqliteError(code, sqlite3_errmsg(m_db));
}

void CConnection::Exec(std::string_view sql) {
    const std::string text(sql);
    const int code = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        Fail(code);
    }
}

std::int64_t CConnection::Integer(std::string_view sql) {
    CStatement statement(*this, sql);
    return statement.Step() ? statement.Integer(0) : 0;
}

std::string CConnection::Text(std::string_view sql) {
    CStatement statement(*this, sql);
    return statement.Step() ? statement.Text(0) : std::string();
}

CStatement::CStatement(CConnection& db, std::string_view sql) : m_db(db) {
    const int code =
        sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (code != SQLITE_OK) {
        db.Fail(code);
    }
}

CStatement::~CStatement() {
    sqlite3_finalize(m_stmt);
}

CStatement& CStatement::Bind(int index, std::int64_t value) {
    if (const int code = sqlite3_bind_int64(m_stmt, index, value); code != SQLITE_OK) {
        m_db.Fail(code);
    }
    return *this;
}

CStatement& CStatement::Bind(int index, std::string_view value) {
    if (const int code = sqlite3_bind_text(m_stmt, index, value.data(),
                                           static_cast<int>(value.size()), SQLITE_TRANSIENT);
        code != SQLITE_OK) {
        m_db.Fail(code);
    }
    return *this;
}

CStatement& CStatement::BindNull(int index) {
    if (const int code = sqlite3_bind_null(m_stmt, index); code != SQLITE_OK) {
        m_db.Fail(code);
    }
    return *this;
}

bool CStatement::Step() {
    const int code = sqlite3_step(m_stmt);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    m_db.Fail(code);
}

void CStatement::Reset() {
    sqlite3_reset(m_stmt);
}

std::int64_t CStatement::Integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string CStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    return text != nullptr
               ? std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
               : std::string();
}

bool CStatement::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

CTransaction::CTransaction(CConnection& db)
    : m_db(db), m_nested(sqlite3_get_autocommit(db.Handle()) == 0) {
    m_db.Exec(m_nested ? "SAVEPOINT part" : "BEGIN IMMEDIATE");
}

CTransaction::~CTransaction() {
    if (!m_done) {
        sqlite3_exec(m_db.Handle(), m_nested ? "ROLLBACK TO part; RELEASE part" : "ROLLBACK",
                     nullptr, nullptr, nullptr);
    }
}

void CTransaction::Commit() {
    m_db.Exec(m_nested ? "RELEASE part" : "COMMIT");
    m_done = true;
}

} // namespace orv::site
