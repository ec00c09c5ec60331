#pragma once
// The files the HTTP endpoint is set up with, read and checked before it
// serves: a wrong file is named at start, instead of every request or
// handshake failing later, or the server saying only that TLS did not start.
#include <optional>
#include <string>

#include "collector/http/BasicAuth.h"

namespace kestrel::collector {

// Nullopt and "PATH: what" when the file cannot be read or has a bad line.
std::optional<PasswordFile> LoadPasswordFile(const std::string& path, std::string& error);

struct TlsPair {
  std::string cert;  // PEM: the server's certificate, then any intermediate ones
  std::string key;   // PEM, without a passphrase
};

// Nullopt and the reason, naming the file, when a file cannot be read, holds
// no certificate or key, or the key does not belong to the certificate.
std::optional<TlsPair> LoadTlsPair(const std::string& certPath, const std::string& keyPath, std::string& error);

}  // namespace kestrel::collector
