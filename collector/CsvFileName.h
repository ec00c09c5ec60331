#pragma once
// Where the CSV output puts the samples of a device: DIR/NAME-YYYY-MM-DD.csv.
// Names come from the configuration; anything in them that could leave the
// directory or trouble a shell becomes '_', so two names can end up as one
// file name: the configuration is refused then (CheckDevicesUnique).
#include <string>

namespace kestrel::collector {

// The device's part of its file names.
std::string CsvFileStem(const std::string& device);
std::string CsvFilePath(const std::string& directory, const std::string& device, const std::string& date);

}  // namespace kestrel::collector
