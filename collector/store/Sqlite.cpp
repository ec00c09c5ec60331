#include "collector/store/Sqlite.h"

#include <sqlite3.h>

namespace kestrel::collector::store {

std::unique_ptr<Connection> Connection::Open(const std::string& path, Mode mode, std::string& error) {
  sqlite3* db = nullptr;
  const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                                           : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return nullptr;
  }
  // Readers and the writer meet in WAL mode; a reader waits this long for a
  // checkpoint instead of failing at once.
  sqlite3_busy_timeout(db, 5000);
  return std::unique_ptr<Connection>(new Connection(db));
}

Connection::~Connection() { sqlite3_close(db_); }

bool Connection::Exec(const std::string& sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : LastError();
  sqlite3_free(message);
  return false;
}

std::optional<Statement> Connection::Prepare(const std::string& sql, std::string& error) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    error = LastError();
    sqlite3_finalize(stmt);
    return std::nullopt;
  }
  return Statement(stmt);
}

std::string Connection::LastError() const { return sqlite3_errmsg(db_); }

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, const std::string& value) {
  sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

bool Statement::Step(bool& ok) {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) ok = false;
  return false;
}

bool Statement::Run() {
  bool ok = true;
  while (Step(ok)) {
  }
  Reset();
  return ok;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                         : std::string();
}

}  // namespace kestrel::collector::store
