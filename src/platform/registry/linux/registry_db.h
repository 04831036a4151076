#pragma once
// Thin RAII wrappers over the SQLite C API for the registry backend:
// prepared statements that always reset, and SQLite result codes mapped to
// the Win32 codes the registry reports.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::reg {

// Maps an SQLite result code to the Win32 code a registry call reports.
WinError winErrorFromSqlite(int rc);

// A prepared statement, finalized on destruction.
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }

  int prepare(sqlite3* db, const char* sql) {
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// One use of a prepared statement: binds, steps, and resets it when it goes
// out of scope so no read transaction is left open between calls.
class Use {
 public:
  explicit Use(const Statement& s) : stmt_(s.get()) {}
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  ~Use() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  Use& bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); return *this; }
  Use& bind(int i, std::string_view text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Use& bindBlob(int i, const void* data, std::size_t size) {
    // A zero-length blob must still be a blob, not NULL.
    sqlite3_bind_blob64(stmt_, i, size ? data : "", size, SQLITE_STATIC);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int step() { return sqlite3_step(stmt_); }

  std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
  std::string text(int col) const {
    const unsigned char* p = sqlite3_column_text(stmt_, col);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
  }
  bool isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  const void* blob(int col) const { return sqlite3_column_blob(stmt_, col); }
  std::size_t blobSize(int col) const {
    return static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col));
  }

 private:
  sqlite3_stmt* stmt_;
};

}  // namespace zorel::platform::reg
