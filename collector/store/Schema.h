#pragma once
// The store's file: what its tables hold, and opening it at the schema this
// collector writes (creating or upgrading it when needed).
//
//   devices   name, address, port, model, unit, product_code: the identity a
//             device had at its last stored sample.
//   counters  device, input (1 = DI1), raw, total, time_ms: per input the last
//             raw value read, the running total of increases, and when that
//             sample was read (milliseconds since 1970, UTC).
//   minutes   device, input, minute, pulses: the sum of the increases of the
//             samples read in that minute; `minute` is the minute's first
//             second since 1970 (UTC), a multiple of 60.
//   hours     device, input, hour, pulses: the same per hour (a multiple of
//             3600). Kept far longer than the minutes.
//   outbox    seq, topic, payload: messages for the broker that it has not
//             acknowledged yet, oldest (lowest seq) first.
//
// The schema's version is SQLite's user_version. A file this collector
// cannot use (not a database, a newer schema, tables missing) is refused.
#include <memory>
#include <string>

#include "collector/store/Sqlite.h"

namespace kestrel::collector::store {

inline constexpr int kSchemaVersion = 1;

// Opens the store for writing, in WAL mode, creating or upgrading its tables;
// nullptr and the reason (without the path) when the file cannot be used.
std::unique_ptr<Connection> OpenStoreForWriting(const std::string& path, std::string& error);

// Opens an existing store for reading (totals, the web answers); nullptr and
// the reason when it is missing or of a schema this collector cannot read.
std::unique_ptr<Connection> OpenStoreForReading(const std::string& path, std::string& error);

}  // namespace kestrel::collector::store
