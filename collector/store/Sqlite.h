#pragma once
// Thin owners of SQLite's connection and statement handles, so that every
// path out of a function finalises and closes what it opened. Errors come
// back as SQLite's own English text.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrel::collector::store {

class Statement;

class Connection {
 public:
  enum class Mode { ReadWrite, ReadOnly };
  // Opens (ReadWrite creates) the file; nullptr and why when it cannot.
  static std::unique_ptr<Connection> Open(const std::string& path, Mode mode, std::string& error);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs statements that return no rows; false and the reason on failure.
  bool Exec(const std::string& sql, std::string& error);
  // Prepares one statement; nullopt and the reason on failure.
  std::optional<Statement> Prepare(const std::string& sql, std::string& error);
  std::string LastError() const;
  sqlite3* handle() const { return db_; }

 private:
  explicit Connection(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  // Parameters are numbered from 1, as SQLite numbers them.
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, const std::string& value);
  // True while a row is there to read; false when done. `ok` turns false on
  // an error (the reason is the connection's LastError()).
  bool Step(bool& ok);
  // Runs a statement that returns no rows, then resets it for reuse.
  bool Run();
  void Reset();
  std::int64_t Int(int column) const;
  std::string Text(int column) const;

 private:
  sqlite3_stmt* stmt_;
};

}  // namespace kestrel::collector::store
