#pragma once
// HTTP basic authentication against a file of hashed passwords.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::collector {

class PasswordFile {
 public:
  // Lines "USER:HASH", as `htpasswd -nB USER` prints them; blank lines and
  // lines starting with '#' are skipped. Only the hashes of crypt(3) that are
  // made for passwords are taken: bcrypt ($2b$, $2y$, $2a$), yescrypt ($y$)
  // and SHA-crypt ($6$, $5$); a hash of the empty password is refused. On
  // failure nullopt and "line N: what".
  static std::optional<PasswordFile> Parse(const std::string& text, std::string& error);

  // Whether an Authorization header value ("Basic BASE64(user:password)")
  // names a user of the file with the right password.
  bool Allows(std::string_view authorization) const;

  PasswordFile(PasswordFile&& other) noexcept
      : hashes_(std::move(other.hashes_)), dummy_(std::move(other.dummy_)) {}

 private:
  PasswordFile() = default;
  std::map<std::string, std::string> hashes_;
  std::string dummy_;  // the first user's hash: what an unknown user is checked against
  // The header last found good per user: bcrypt takes tens of milliseconds
  // by design, too long for every scrape, so a repeat of exactly the same
  // header is compared instead of hashed again.
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::string> verified_;
};

// RFC 4648 base64 with padding; nullopt for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace kestrel::collector
