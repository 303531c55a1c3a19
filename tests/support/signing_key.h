#pragma once

#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "updates/signature.h"

namespace tagsmith::testing {

// An Ed25519 key pair of a test's own, signing files the way a release is
// signed (the signature of the file's SHA-512 digest, as base64).
class SigningKey {
 public:
  SigningKey() {
    std::unique_ptr<EVP_PKEY_CTX, CtxFree> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &key) != 1) std::abort();
    key_.reset(key);
    size_t length = 32;
    if (EVP_PKEY_get_raw_public_key(key, public_.bytes.data(), &length) != 1 || length != 32) std::abort();
  }

  const Ed25519PublicKey& PublicKey() const { return public_; }

  // The base64 signature of the bytes (a digest, or any message).
  std::string SignBytes(const std::string& message) const {
    std::unique_ptr<EVP_MD_CTX, MdFree> md(EVP_MD_CTX_new());
    unsigned char signature[64];
    size_t length = sizeof signature;
    if (!md || EVP_DigestSignInit(md.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(md.get(), signature, &length, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1)
      std::abort();
    return EncodeBase64(std::string(reinterpret_cast<const char*>(signature), length));
  }

  // The base64 signature of a file as it is now.
  std::string SignFile(const std::string& path) const {
    const auto digest = FileDigest(path);
    if (!digest) std::abort();
    return SignBytes(*digest);
  }

 private:
  struct CtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
  };
  struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
  };
  struct MdFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };
  std::unique_ptr<EVP_PKEY, KeyFree> key_;
  Ed25519PublicKey public_;
};

}  // namespace tagsmith::testing
