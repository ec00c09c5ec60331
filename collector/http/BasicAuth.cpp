#include "collector/http/BasicAuth.h"

#include <crypt.h>

#include <array>
#include <memory>

namespace kestrel::collector {

namespace {

bool StrongHash(std::string_view hash) {
  for (const std::string_view prefix : {"$2b$", "$2y$", "$2a$", "$y$", "$6$", "$5$"})
    if (hash.substr(0, prefix.size()) == prefix) return true;
  return false;
}

// Compares without stopping at the first difference, so the time taken
// does not tell how much of a guess was right.
bool SameText(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// crypt(3) of `password` with the algorithm, cost and salt of `hash`.
std::optional<std::string> HashOf(const std::string& password, std::string_view hash) {
  auto data = std::make_unique<crypt_data>();  // about 32 KB: not on the stack
  const char* hashed = crypt_r(password.c_str(), std::string(hash).c_str(), data.get());
  if (hashed == nullptr || hashed[0] == '*') return std::nullopt;  // '*': crypt's failure token
  return std::string(hashed);
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  const auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (pad == 1 && text[i + 2] == '=') return std::nullopt;  // "x=y=" is not padding
    std::uint32_t group = 0;
    for (int k = 0; k < 4 - pad; ++k) {
      const int v = value(text[i + k]);
      if (v < 0) return std::nullopt;
      group |= static_cast<std::uint32_t>(v) << (18 - 6 * k);
    }
    out += static_cast<char>(group >> 16);
    if (pad < 2) out += static_cast<char>(group >> 8 & 0xFF);
    if (pad < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

std::optional<PasswordFile> PasswordFile::Parse(const std::string& text, std::string& error) {
  PasswordFile file;
  std::size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view row(text.data() + start, end - start);
    start = end + 1;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (row.empty() || row[0] == '#') continue;
    const std::size_t colon = row.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
      error = "line " + std::to_string(line) + ": not USER:HASH";
      return std::nullopt;
    }
    const std::string_view hash = row.substr(colon + 1);
    if (!StrongHash(hash)) {
      error = "line " + std::to_string(line) + ": not a bcrypt, yescrypt or SHA-crypt hash";
      return std::nullopt;
    }
    const std::string user(row.substr(0, colon));
    // Anyone would get in as this user: a mistake, never meant.
    if (HashOf("", hash) == hash) {
      error = "line " + std::to_string(line) + ": the password of '" + user + "' is empty";
      return std::nullopt;
    }
    file.hashes_[user] = std::string(hash);
    if (file.dummy_.empty()) file.dummy_ = hash;
  }
  if (file.hashes_.empty()) {
    error = "no users";
    return std::nullopt;
  }
  return file;
}

bool PasswordFile::Allows(std::string_view authorization) const {
  constexpr std::string_view kScheme = "Basic ";
  if (authorization.substr(0, kScheme.size()) != kScheme) return false;
  const auto decoded = DecodeBase64(authorization.substr(kScheme.size()));
  if (!decoded) return false;
  const std::size_t colon = decoded->find(':');
  if (colon == std::string::npos) return false;
  const std::string user = decoded->substr(0, colon);
  const std::string password = decoded->substr(colon + 1);
  const auto it = hashes_.find(user);
  if (it == hashes_.end()) {
    // Hashed all the same, with a hash of the file's own kind and cost, so
    // the time taken does not tell which users exist; refused whatever the
    // result.
    HashOf(password, dummy_);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    const auto seen = verified_.find(user);
    if (seen != verified_.end() && SameText(seen->second, authorization)) return true;
  }
  // crypt(3) reads up to a NUL: "secret\0junk" would pass for "secret". No
  // hash is of a password with a NUL, so it only costs the same time.
  const bool hasNul = password.find('\0') != std::string::npos;
  const std::optional<std::string> hashed = HashOf(password, it->second);
  if (hasNul || !hashed || !SameText(*hashed, it->second)) return false;
  std::lock_guard lock(mutex_);
  verified_[user] = std::string(authorization);
  return true;
}

}  // namespace kestrel::collector
