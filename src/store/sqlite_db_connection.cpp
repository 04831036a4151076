#include "zorel/store/sqlite_db_connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/data_table.h"

namespace zorel {

namespace {

// Journal settings: see the header. A file system that cannot hold a
// write-ahead log keeps SQLite's default rollback journal.
// Every plug-in call commits one small row, and each commit writes whole
// pages to the log: 1 KB pages (set while the file is still empty) write a
// quarter of what the 4 KB default did. The log is folded into the file
// every 8000 pages rather than SQLite's 1000, because each fold syncs the
// file. Commits themselves are unchanged.
constexpr const char* kJournalSettings =
    "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
    "PRAGMA wal_autocheckpoint=8000;";

// Prepared shapes kept at most; a store has a handful of tables, so more
// means shapes that differ by inline values (floats), which are not kept.
constexpr size_t kMaxStatements = 64;

// One statement of an INSERT text split into its shape and literals.
struct Literal {
  bool isText = false;
  int64_t number = 0;
  std::string text;
};
struct SplitStatement {
  std::string shape;  // the statement with "?" for each literal
  std::vector<Literal> literals;
};

bool isWordByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$' || c >= 0x80;
}

bool startsWithInsert(std::string_view statement) {
  size_t i = 0;
  while (i < statement.size() && std::isspace(static_cast<unsigned char>(statement[i]))) ++i;
  const std::string_view word = "insert";
  if (statement.size() - i < word.size() + 1) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(statement[i + k])) != word[k]) return false;
  return !isWordByte(static_cast<unsigned char>(statement[i + word.size()]));
}

// Splits |sql| (the text up to its first NUL, as sqlite3_exec reads it)
// into statements, taking out string literals and plain integer literals
// that fit 64 bits. Every other token (identifiers, quoted names, floats,
// hexadecimal and blob literals, comments) stays in the shape as written.
// False when the text is not a list of INSERT statements or uses
// parameters of its own; the caller then runs it as it is.
bool splitInserts(const std::string& sql, std::vector<SplitStatement>& out) {
  const size_t end = std::min(sql.size(), std::strlen(sql.c_str()));
  SplitStatement current;
  auto close = [&]() -> bool {
    bool blank = true;
    for (char c : current.shape) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (!blank) {
      if (!startsWithInsert(current.shape)) return false;
      out.push_back(std::move(current));
    }
    current = SplitStatement();
    return true;
  };
  size_t i = 0;
  while (i < end) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c == '\'') {
      Literal literal;
      literal.isText = true;
      size_t j = i + 1;
      for (;;) {
        if (j >= end) return false;  // unterminated: let SQLite report it
        if (sql[j] == '\'') {
          if (j + 1 < end && sql[j + 1] == '\'') {
            literal.text += '\'';
            j += 2;
            continue;
          }
          break;
        }
        literal.text += sql[j++];
      }
      // X'..' is a blob literal: its letter is already in the shape.
      if (!current.shape.empty() && (current.shape.back() == 'x' || current.shape.back() == 'X') &&
          (current.shape.size() == 1 ||
           !isWordByte(static_cast<unsigned char>(current.shape[current.shape.size() - 2]))))
        return false;
      current.shape += '?';
      current.literals.push_back(std::move(literal));
      i = j + 1;
    } else if (c == '"' || c == '`' || c == '[') {
      const char closing = c == '[' ? ']' : static_cast<char>(c);
      size_t j = i + 1;
      while (j < end && sql[j] != closing) ++j;
      if (j >= end) return false;
      current.shape.append(sql, i, j + 1 - i);
      i = j + 1;
    } else if (c == '-' && i + 1 < end && sql[i + 1] == '-') {
      return false;  // comments are rare here; sqlite3_exec handles them
    } else if (c == '/' && i + 1 < end && sql[i + 1] == '*') {
      return false;
    } else if (c == '?' || c == ':' || c == '@' || c == '$') {
      return false;  // parameters of the text's own
    } else if (c >= '0' && c <= '9') {
      size_t j = i;
      while (j < end && sql[j] >= '0' && sql[j] <= '9') ++j;
      const bool plain = j >= end || (!isWordByte(static_cast<unsigned char>(sql[j])) && sql[j] != '.');
      if (plain && j - i <= 18) {
        Literal literal;
        literal.number = std::stoll(sql.substr(i, j - i));
        current.shape += '?';
        current.literals.push_back(std::move(literal));
        i = j;
      } else {
        // A float, a hexadecimal number or one too long for 64 bits: as written.
        while (j < end && (isWordByte(static_cast<unsigned char>(sql[j])) || sql[j] == '.' ||
                           ((sql[j] == '+' || sql[j] == '-') &&
                            (sql[j - 1] == 'e' || sql[j - 1] == 'E'))))
          ++j;
        current.shape.append(sql, i, j - i);
        i = j;
      }
    } else if (isWordByte(c)) {
      size_t j = i;
      while (j < end && isWordByte(static_cast<unsigned char>(sql[j]))) ++j;
      current.shape.append(sql, i, j - i);
      i = j;
    } else if (c == ';') {
      if (!close()) return false;
      ++i;
    } else {
      current.shape += static_cast<char>(c);
      ++i;
    }
  }
  return close() && !out.empty();
}

int32_t columnTypeCode(int storageClass) {
  switch (storageClass) {
    case SQLITE_INTEGER: return ColumnType::kInteger;
    case SQLITE_FLOAT: return ColumnType::kFloat;
    case SQLITE_TEXT: return ColumnType::kText;
    default: return ColumnType::kNone;
  }
}

// One result row into a new row of |table|. NULL and blob values stay empty.
void appendRow(sqlite3_stmt* statement, const std::vector<std::wstring>& names,
               DataTable& table) {
  std::unique_ptr<DataRow> row = table.NewRow();
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    const std::wstring& name = names[i];
    switch (sqlite3_column_type(statement, i)) {
      case SQLITE_INTEGER:
        row->Set(name, static_cast<int32_t>(sqlite3_column_int(statement, i)));
        break;
      case SQLITE_FLOAT:
        row->Set(name, static_cast<float>(sqlite3_column_double(statement, i)));
        break;
      case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        const int bytes = sqlite3_column_bytes(statement, i);
        row->Set(name, fromUtf8(std::string_view(text ? text : "", text ? bytes : 0)));
        break;
      }
      default:
        break;
    }
  }
  table.AddRow(std::move(row));
}

}  // namespace

CSqliteDBConnection::~CSqliteDBConnection() {
  FinalizeStatements();
  if (db_) sqlite3_close_v2(db_);
}

void CSqliteDBConnection::FinalizeStatements() {
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
}

sqlite3_stmt* CSqliteDBConnection::Prepared(const std::string& shape) {
  auto found = statements_.find(shape);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, shape.c_str(), static_cast<int>(shape.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK ||
      !statement) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements_.emplace(shape, statement);
  return statement;
}

int CSqliteDBConnection::RunInserts(const std::string& sql) {
  std::vector<SplitStatement> split;
  if (!splitInserts(sql, split)) return -1;
  // Room for every shape of this text, so none is dropped while in use.
  if (statements_.size() + split.size() > kMaxStatements) FinalizeStatements();
  // Prepare every shape first, so a text that will not prepare runs through
  // sqlite3_exec from its start rather than half one way and half the other.
  std::vector<sqlite3_stmt*> prepared;
  for (const SplitStatement& one : split) {
    sqlite3_stmt* statement = Prepared(one.shape);
    if (!statement || sqlite3_bind_parameter_count(statement) !=
                          static_cast<int>(one.literals.size()))
      return -1;
    prepared.push_back(statement);
  }
  for (size_t s = 0; s < split.size(); ++s) {
    sqlite3_stmt* statement = prepared[s];
    const auto& literals = split[s].literals;
    for (size_t k = 0; k < literals.size(); ++k) {
      const int index = static_cast<int>(k) + 1;
      if (literals[k].isText) {
        sqlite3_bind_text(statement, index, literals[k].text.data(),
                          static_cast<int>(literals[k].text.size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_int64(statement, index, literals[k].number);
      }
    }
    int rc = sqlite3_step(statement);
    while (rc == SQLITE_ROW) rc = sqlite3_step(statement);
    // Reset at once: a statement left mid-way would keep its transaction.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc != SQLITE_DONE) {
      const std::wstring message = fromUtf8(sqlite3_errmsg(db_));
      FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                     message.c_str());
      return 0;
    }
  }
  return 1;
}

bool CSqliteDBConnection::Open(const std::wstring& path) {
  // A second Open without Close would otherwise leak the first handle.
  if (db_) Close();
  sqlite3* db = nullptr;
  const int rc = sqlite3_open(toUtf8(path).c_str(), &db);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Can't open database: %s", message.c_str());
    if (db) sqlite3_close(db);  // sqlite3_open hands out a handle even on failure
    return false;
  }
  db_ = db;
  open_ = true;
  sqlite3_exec(db_, kJournalSettings, nullptr, nullptr, nullptr);
  FrameworkLog::Instance().Write(LogLevel::Info, L"Opened database successfully");
  return true;
}

bool CSqliteDBConnection::ExecuteQuery(const std::wstring& sql) {
  if (!db_) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                   L"database is not open");
    return false;
  }
  // Result rows of these statements are of no interest; they used to be
  // printed to standard output, which the framework process keeps for its
  // own use, so they are dropped.
  const std::string text = toUtf8(sql);
  const int inserted = RunInserts(text);
  if (inserted >= 0) return inserted == 1;
  char* error = nullptr;
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(error ? error : sqlite3_errstr(rc));
    FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                   message.c_str());
    sqlite3_free(error);
    return false;
  }
  return true;
}

int32_t CSqliteDBConnection::GetLastInsertRowId() {
  if (!db_) return -1;
  // The value "SELECT last_insert_rowid()" would return, without parsing a
  // statement on every insert; cut to 32 bits as sqlite3_column_int does.
  return static_cast<int32_t>(sqlite3_last_insert_rowid(db_));
}

bool CSqliteDBConnection::ExecuteSelect(const std::wstring& sql, DataTable& table) {
  if (!db_) return false;
  sqlite3_stmt* statement = nullptr;
  // Only the first statement of the text runs; the caller logs failures.
  if (sqlite3_prepare_v2(db_, toUtf8(sql).c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return false;
  }
  if (!statement) return true;  // the text held no statement

  int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW) {
    sqlite3_finalize(statement);
    // An empty result leaves the table untouched. A statement that failed
    // while it ran (a constraint in an UPDATE, a damaged file) is a failure,
    // not an empty result.
    return rc == SQLITE_DONE;
  }

  const int count = sqlite3_column_count(statement);
  std::vector<std::wstring> names;
  names.reserve(count);
  for (int i = 0; i < count; ++i) {
    const char* rawName = sqlite3_column_name(statement, i);
    names.push_back(fromUtf8(rawName ? rawName : ""));
    table.AddColumn(names.back(), columnTypeCode(sqlite3_column_type(statement, i)));
  }
  while (rc == SQLITE_ROW) {
    appendRow(statement, names, table);
    rc = sqlite3_step(statement);
  }
  sqlite3_finalize(statement);
  // A failure part-way keeps the rows read so far but is still a failure.
  return rc == SQLITE_DONE;
}

bool CSqliteDBConnection::Close() {
  if (!open_) return true;
  open_ = false;
  FinalizeStatements();
  const int rc = sqlite3_close(db_);
  if (rc != SQLITE_OK) {
    // The handle stays valid after a failed close; the destructor retries.
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to close the database connection, Error : %d", rc);
    return false;
  }
  db_ = nullptr;
  return true;
}

bool CSqliteDBConnection::Checkpoint() {
  if (!db_) return false;
  // TRUNCATE waits for nothing here (one connection) and leaves the log
  // empty, so the database file alone is complete.
  const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                           nullptr);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(sqlite3_errmsg(db_));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Checkpoint of the database failed: %s",
                                   message.c_str());
    return false;
  }
  return true;
}

}  // namespace zorel
