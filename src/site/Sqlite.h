#pragma once
// A thin hold on SQLite: a connection and its prepared statements as
// owners, errors as exceptions carrying SQLite's own words. Nothing here
// knows what a site keeps.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orv::site {

class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

class CStatement;

class CConnection {
public:
    // Opens `file` read-write, creating it only when `create` is set.
    CConnection(const std::string& file, bool create);
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    sqlite3* Handle() const { return m_db; }
    // Runs statements that return no rows.
    void Exec(std::string_view sql);
    // The first column of the first row of `sql`, as an integer.
    std::int64_t Integer(std::string_view sql);
    std::string Text(std::string_view sql);
    [[noreturn]] void Fail(int code) const;

private:
    sqlite3* m_db = nullptr;
};

class CStatement {
public:
    CStatement(CConnection& db, std::string_view sql);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    // Parameters count from 1, as in SQLite.
    CStatement& Bind(int index, std::int64_t value);
    CStatement& Bind(int index, std::string_view value);
    CStatement& BindNull(int index);
    // True while there is a row.
    bool Step();
    // Back to the start, bindings kept.
    void Reset();

    std::int64_t Integer(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;

private:
    CConnection& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// A transaction that rolls back unless committed; BEGIN IMMEDIATE, so a
// second writer waits for the busy timeout rather than failing halfway.
// Inside another it is a savepoint: it rolls back only its own part, and
// the outer transaction's commit makes it durable.
class CTransaction {
public:
    explicit CTransaction(CConnection& db);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    void Commit();

private:
    CConnection& m_db;
    bool m_nested = false;
    bool m_done = false;
};

} // namespace orv::site
