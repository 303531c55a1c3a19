#include "updates/signature.h"

#include <gtest/gtest.h>

#include "support/signing_key.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

TEST(Base64, EncodesAndDecodesTheStandardAlphabetStrictly) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"", ""},           {"f", "Zg=="},       {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00", 3), "//4A"},
      {std::string("\xfb\xef\xbe", 3), "++++"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.text);
    EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
  }
  EXPECT_EQ(DecodeBase64(" Zm9v\r\nYmFy \n"), "foobar");  // blanks and line breaks are skipped
  for (const char* bad : {"Zg", "Zg=", "Z===", "Zm9v=", "Zh==", "Zm9=", "Zg==Zg==", "Zm9v*mFy", "Zm-_", "=Zm9"})
    EXPECT_EQ(DecodeBase64(bad), std::nullopt) << bad;
}

TEST(Ed25519PublicKey, TakesBase64OfExactly32Bytes) {
  const Ed25519PublicKey key = Ed25519PublicKey::FromBase64(EncodeBase64(std::string(32, '\x07')));
  EXPECT_EQ(key.bytes[0], 7);
  EXPECT_EQ(key.bytes[31], 7);
  for (const std::string& bad : {std::string(), EncodeBase64(std::string(31, 'a')), EncodeBase64(std::string(33, 'a')),
                                 std::string("not base64!")})
    EXPECT_THROW(Ed25519PublicKey::FromBase64(bad), ESignatureError) << bad;
  EXPECT_NO_THROW(MakerPublicKey());
}

TEST(FileSignature, OnlyTheSignedBytesUnderTheRightKeyVerify) {
  testing::TempDir dir;
  testing::SigningKey key, other;
  const auto file = (dir / "setup.exe").string();
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 131);
  testing::WriteFile(file, bytes);
  const std::string signature = key.SignFile(file);
  EXPECT_EQ(FileSignatureProblem(file, signature, key.PublicKey()), "");

  EXPECT_EQ(FileSignatureProblem(file, "", key.PublicKey()), "it carries no signature");
  EXPECT_EQ(FileSignatureProblem(file, "abc", key.PublicKey()), "its signature is not base64 of 64 bytes");
  EXPECT_EQ(FileSignatureProblem(file, other.SignFile(file), key.PublicKey()),
            "its signature does not match the maker's key");
  EXPECT_EQ(FileSignatureProblem(file, signature, other.PublicKey()), "its signature does not match the maker's key");
  // A signature of the bytes themselves instead of their digest.
  EXPECT_EQ(FileSignatureProblem(file, key.SignBytes(bytes), key.PublicKey()),
            "its signature does not match the maker's key");
  std::string flipped = *DecodeBase64(signature);
  flipped[10] ^= 0x20;
  EXPECT_EQ(FileSignatureProblem(file, EncodeBase64(flipped), key.PublicKey()),
            "its signature does not match the maker's key");

  for (size_t at : {size_t(0), bytes.size() / 2, bytes.size() - 1}) {
    std::string changed = bytes;
    changed[at] ^= 0x01;
    testing::WriteFile(file, changed);
    EXPECT_EQ(FileSignatureProblem(file, signature, key.PublicKey()), "its signature does not match the maker's key")
        << at;
  }
  EXPECT_EQ(FileSignatureProblem((dir / "missing").string(), signature, key.PublicKey()),
            "it cannot be read (No such file or directory)");
}

// The release script signs the way the program checks: a key pair made with
// openssl, the script's signature of a file, checked with the public key it
// prints.
TEST(FileSignature, TheReleaseScriptsSignatureVerifies) {
  testing::TempDir dir;
  const std::string keyFile = (dir / "maker.pem").string();
  const std::string file = (dir / "setup.exe").string();
  testing::WriteFile(file, "#!/bin/sh\necho an installer\n");
  ASSERT_EQ(std::system(("openssl genpkey -algorithm ed25519 -out '" + keyFile + "' 2>/dev/null").c_str()), 0);
  const std::string script = std::string(TAGSMITH_SOURCE_DIR) + "/scripts/sign-release.sh";
  ASSERT_EQ(std::system(("'" + script + "' --public-key '" + keyFile + "' > '" + (dir / "pub").string() + "'").c_str()), 0);
  ASSERT_EQ(std::system(("'" + script + "' '" + keyFile + "' '" + file + "' > '" + (dir / "sig").string() + "'").c_str()),
            0);
  const auto trim = [](std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
  };
  const Ed25519PublicKey key = Ed25519PublicKey::FromBase64(trim(testing::ReadFile(dir / "pub")));
  EXPECT_EQ(FileSignatureProblem(file, trim(testing::ReadFile(dir / "sig")), key), "");
}

}  // namespace
}  // namespace tagsmith
