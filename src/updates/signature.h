#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace tagsmith {

// A public key that cannot be used (not base64, not 32 bytes).
class ESignatureError : public Exception {
 public:
  using Exception::Exception;
};

// An Ed25519 public key: its 32 raw bytes.
struct Ed25519PublicKey {
  std::array<uint8_t, 32> bytes{};

  // From the base64 text of the 32 raw bytes (what scripts/sign-release.sh
  // prints). Throws ESignatureError for any other text.
  static Ed25519PublicKey FromBase64(std::string_view text);
  bool operator==(const Ed25519PublicKey&) const = default;
};

// The maker's release key, built into the program (the CMake setting
// TAGSMITH_UPDATE_PUBLIC_KEY). Every downloaded installer must carry the
// maker's signature before it is recorded or started.
const Ed25519PublicKey& MakerPublicKey();

// Standard base64 (RFC 4648, with padding). Decoding is strict: blanks and
// line breaks around and between the characters are skipped, anything else
// outside the alphabet, a wrong length or wrong padding gives nothing.
std::string EncodeBase64(std::string_view bytes);
std::optional<std::string> DecodeBase64(std::string_view text);

// How an installer is signed: the Ed25519 signature (64 bytes, carried as
// base64) of the SHA-512 digest of the file's bytes. Hashing first keeps the
// check in constant memory whatever the file's size. The maker signs with
//   openssl dgst -sha512 -binary FILE | openssl pkeyutl -sign -inkey KEY -rawin
// The digest of a file, read in pieces; nothing when it cannot be read.
std::optional<std::string> FileDigest(const std::string& path);

// Why the file does not carry a valid signature of `key`, or empty when it
// does: the file cannot be read, the signature is missing, not base64, not
// 64 bytes, or does not verify. Any thread.
std::string FileSignatureProblem(const std::string& path, std::string_view signatureBase64,
                                 const Ed25519PublicKey& key);

}  // namespace tagsmith
