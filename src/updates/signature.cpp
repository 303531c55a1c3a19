#include "updates/signature.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/strings.h"

#ifndef TAGSMITH_UPDATE_PUBLIC_KEY
#error "TAGSMITH_UPDATE_PUBLIC_KEY (base64 of the maker's Ed25519 public key) must be defined"
#endif

namespace tagsmith {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                       uint32_t(uint8_t(bytes[i + 2]));
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string chars;
  chars.reserve(text.size());
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    chars.push_back(c);
  }
  if (chars.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(chars.size() / 4 * 3);
  for (size_t i = 0; i < chars.size(); i += 4) {
    const bool last = i + 4 == chars.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = chars[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad > 0) return std::nullopt;  // data after padding
      v[k] = ValueOf(c);
      if (v[k] < 0) return std::nullopt;
    }
    const uint32_t n = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    // Bits that padding leaves unused must be zero, so each text has one meaning.
    if ((pad == 1 && (n & 0xFF) != 0) || (pad == 2 && (n & 0xFFFF) != 0)) return std::nullopt;
    out.push_back(char((n >> 16) & 0xFF));
    if (pad < 2) out.push_back(char((n >> 8) & 0xFF));
    if (pad < 1) out.push_back(char(n & 0xFF));
  }
  return out;
}

Ed25519PublicKey Ed25519PublicKey::FromBase64(std::string_view text) {
  const std::optional<std::string> raw = DecodeBase64(text);
  if (!raw || raw->size() != 32)
    throw ESignatureError(FormatString("Not an Ed25519 public key (base64 of 32 bytes): \"%.*s\"",
                                       static_cast<int>(text.size()), text.data()));
  Ed25519PublicKey key;
  std::memcpy(key.bytes.data(), raw->data(), 32);
  return key;
}

const Ed25519PublicKey& MakerPublicKey() {
  static const Ed25519PublicKey key = Ed25519PublicKey::FromBase64(TAGSMITH_UPDATE_PUBLIC_KEY);
  return key;
}

std::optional<std::string> FileDigest(const std::string& path) {
  std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1) return std::nullopt;
  std::string buffer(1 << 16, '\0');
  for (;;) {
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (n > 0 && EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) return std::nullopt;
    if (n < buffer.size()) break;
  }
  if (std::ferror(file.get())) return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string FileSignatureProblem(const std::string& path, std::string_view signatureBase64,
                                 const Ed25519PublicKey& key) {
  if (signatureBase64.empty()) return "it carries no signature";
  const std::optional<std::string> signature = DecodeBase64(signatureBase64);
  if (!signature || signature->size() != 64) return "its signature is not base64 of 64 bytes";
  const std::optional<std::string> digest = FileDigest(path);
  if (!digest) return FormatString("it cannot be read (%s)", std::strerror(errno));

  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.bytes.data(), key.bytes.size()));
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
    return "the signature cannot be checked";
  const int ok = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                                  signature->size(), reinterpret_cast<const unsigned char*>(digest->data()),
                                  digest->size());
  return ok == 1 ? std::string() : "its signature does not match the maker's key";
}

}  // namespace tagsmith
