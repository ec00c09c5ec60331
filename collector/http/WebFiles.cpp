#include "collector/http/WebFiles.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include "collector/FileText.h"

namespace kestrel::collector {

namespace {

gnutls_datum_t Datum(const std::string& text) {
  return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), static_cast<unsigned>(text.size())};
}

// GnuTLS's text for an error code, in parentheses.
std::string Why(int code) { return std::string(" (") + gnutls_strerror(code) + ")"; }

int CertificatesIn(const std::string& pem) {
  gnutls_x509_crt_t* list = nullptr;
  unsigned count = 0;
  const gnutls_datum_t data = Datum(pem);
  const int code = gnutls_x509_crt_list_import2(&list, &count, &data, GNUTLS_X509_FMT_PEM, 0);
  for (unsigned i = 0; i < count; ++i) gnutls_x509_crt_deinit(list[i]);
  gnutls_free(list);
  return code;
}

int KeyIn(const std::string& pem) {
  gnutls_x509_privkey_t key = nullptr;
  int code = gnutls_x509_privkey_init(&key);
  if (code < 0) return code;
  const gnutls_datum_t data = Datum(pem);
  code = gnutls_x509_privkey_import2(key, &data, GNUTLS_X509_FMT_PEM, nullptr, 0);
  gnutls_x509_privkey_deinit(key);
  return code;
}

int PairUsable(const TlsPair& pair) {
  gnutls_certificate_credentials_t credentials = nullptr;
  int code = gnutls_certificate_allocate_credentials(&credentials);
  if (code < 0) return code;
  const gnutls_datum_t cert = Datum(pair.cert), key = Datum(pair.key);
  code = gnutls_certificate_set_x509_key_mem2(credentials, &cert, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
  gnutls_certificate_free_credentials(credentials);
  return code;
}

}  // namespace

std::optional<PasswordFile> LoadPasswordFile(const std::string& path, std::string& error) {
  std::string why;
  const auto text = ReadFileText(path, why);
  if (!text) {
    error = path + ": cannot be read: " + why;
    return std::nullopt;
  }
  auto parsed = PasswordFile::Parse(*text, why);
  if (!parsed) error = path + ": " + why;
  return parsed;
}

std::optional<TlsPair> LoadTlsPair(const std::string& certPath, const std::string& keyPath, std::string& error) {
  TlsPair pair;
  for (const auto& [path, into] : {std::pair{&certPath, &pair.cert}, std::pair{&keyPath, &pair.key}}) {
    std::string why;
    auto text = ReadFileText(*path, why);
    if (!text) {
      error = *path + ": cannot be read: " + why;
      return std::nullopt;
    }
    *into = std::move(*text);
  }
  if (const int code = CertificatesIn(pair.cert); code < 0) {
    error = certPath + ": no PEM certificate" + Why(code);
  } else if (const int code = KeyIn(pair.key); code < 0) {
    error = keyPath + ": no PEM private key without a passphrase" + Why(code);
  } else if (const int code = PairUsable(pair); code == GNUTLS_E_CERTIFICATE_KEY_MISMATCH) {
    error = keyPath + ": not the key of the certificate in " + certPath;
  } else if (code < 0) {
    error = certPath + " and " + keyPath + ": not usable together" + Why(code);
  } else {
    return pair;
  }
  return std::nullopt;
}

}  // namespace kestrel::collector
