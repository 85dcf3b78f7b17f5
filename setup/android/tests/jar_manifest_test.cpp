// Manifest sections and line wrapping, the manifest, and the signature file
// with a digest that records what it was given.
#include "android/jar_manifest.h"

#include <gtest/gtest.h>

namespace tf::android {
namespace {

const std::string kDigest(44, 'D');

TEST(ManifestSection, WrapsAt72Bytes) {
  const std::string tail = "\r\nSHA-256-Digest: " + kDigest + "\r\n\r\n";
  struct Case {
    size_t nameLength;
    std::vector<size_t> lines;  // bytes of the name on each line
  } const kCases[] = {
      {1, {1}},
      {66, {66}},          // "Name: " + 66 = 72 bytes, no continuation
      {67, {66, 1}},       // 72, then " " + 1 byte
      {138, {66, 72}},     // exactly two lines, no empty third
      {139, {66, 72, 1}},
      {210, {66, 72, 72}},
      {211, {66, 72, 72, 1}},
  };
  for (const auto& c : kCases) {
    std::string name;
    for (size_t i = 0; i < c.nameLength; ++i) name += static_cast<char>('a' + i % 26);
    std::string expected = "Name: ";
    size_t at = 0;
    for (size_t i = 0; i < c.lines.size(); ++i) {
      if (i > 0) expected += "\r\n ";
      expected += name.substr(at, c.lines[i]);
      at += c.lines[i];
    }
    expected += tail;
    EXPECT_EQ(ManifestSection(name, kDigest), expected) << c.nameLength;
  }
}

TEST(ManifestSection, CutsOnBytesNotCharacters) {
  // 65 ASCII bytes and a two-byte character: the first line ends inside it.
  std::string name = std::string(65, 'x') + "\xc3\xa9";
  EXPECT_EQ(ManifestSection(name, kDigest),
            "Name: " + std::string(65, 'x') + "\xc3\r\n \xa9\r\nSHA-256-Digest: " + kDigest + "\r\n\r\n");
}

TEST(ManifestSection, PackSection) {
  EXPECT_EQ(ManifestSection("assets/game.pak", kDigest),
            "Name: assets/game.pak\r\nSHA-256-Digest: " + kDigest + "\r\n\r\n");
}

const std::vector<ManifestEntry> kEntries = {
    {"AndroidManifest.xml", std::string(44, 'A')},
    {"res/mipmap-xxxhdpi-v4/" + std::string(60, 'l') + ".png", std::string(44, 'B')},  // wraps
    {"assets/game.pak", std::string(44, 'C')},
};

TEST(Manifest, MainSectionThenSectionsInOrder) {
  Manifest m = BuildManifest(kEntries);
  std::string expected = "Manifest-Version: 1.0\r\nCreated-By: Tarnfell installer\r\n\r\n";
  EXPECT_EQ(m.mainSectionLength, expected.size());
  for (const auto& e : kEntries) expected += ManifestSection(e.name, e.digest);
  EXPECT_EQ(m.bytes, expected);

  Manifest none = BuildManifest({});
  EXPECT_EQ(none.bytes, kManifestMain);
  EXPECT_EQ(none.mainSectionLength, none.bytes.size());
}

// Answers "d0", "d1", ... and keeps each input; fails at call `failAt`, or
// answers an empty text there when `emptyAt`.
class RecordingDigest : public DigestText {
 public:
  int failAt = -1;
  int emptyAt = -1;
  std::vector<std::string> inputs;
  bool Digest(const uint8_t* data, size_t length, std::string& base64) override {
    int call = static_cast<int>(inputs.size());
    inputs.emplace_back(reinterpret_cast<const char*>(data), length);
    if (call == failAt) return false;
    base64 = call == emptyAt ? "" : "d" + std::to_string(call);
    return true;
  }
};

TEST(SignatureFile, DigestsTheWholeManifestItsMainSectionAndEachSection) {
  Manifest m = BuildManifest(kEntries);
  RecordingDigest digest;
  std::string sf;
  ASSERT_TRUE(BuildSignatureFile(m.bytes, m.mainSectionLength, kEntries, digest, sf));
  ASSERT_EQ(digest.inputs.size(), 2 + kEntries.size());
  EXPECT_EQ(digest.inputs[0], m.bytes);
  EXPECT_EQ(digest.inputs[1], kManifestMain);  // nothing of the first "Name:" section
  for (size_t i = 0; i < kEntries.size(); ++i)
    EXPECT_EQ(digest.inputs[2 + i], ManifestSection(kEntries[i].name, kEntries[i].digest)) << i;

  std::string expected =
      "Signature-Version: 1.0\r\nSHA-256-Digest-Manifest: d0\r\n"
      "SHA-256-Digest-Manifest-Main-Attributes: d1\r\nCreated-By: Tarnfell installer\r\n\r\n";
  for (size_t i = 0; i < kEntries.size(); ++i) expected += ManifestSection(kEntries[i].name, "d" + std::to_string(2 + i));
  EXPECT_EQ(sf, expected);
}

TEST(SignatureFile, AnyFailedOrEmptyDigestFails) {
  Manifest m = BuildManifest(kEntries);
  for (int call = 0; call < static_cast<int>(2 + kEntries.size()); ++call) {
    for (bool empty : {false, true}) {
      RecordingDigest digest;
      (empty ? digest.emptyAt : digest.failAt) = call;
      std::string sf = "untouched";
      EXPECT_FALSE(BuildSignatureFile(m.bytes, m.mainSectionLength, kEntries, digest, sf)) << call << empty;
      EXPECT_EQ(sf, "untouched");
    }
  }
}

TEST(SignatureFile, RefusesAManifestThatDoesNotMatchItsEntries) {
  Manifest m = BuildManifest(kEntries);
  std::vector<ManifestEntry> more = kEntries;
  more.push_back({"extra", std::string(44, 'E')});
  std::vector<ManifestEntry> changed = kEntries;
  changed[1].digest[0] = 'Z';
  struct Case {
    const char* what;
    std::string manifest;
    size_t mainLength;
    const std::vector<ManifestEntry>& entries;
  } const kCases[] = {
      {"more entries than sections", m.bytes, m.mainSectionLength, more},
      {"a section that differs", m.bytes, m.mainSectionLength, changed},
      {"a cut manifest", m.bytes.substr(0, m.bytes.size() - 1), m.mainSectionLength, kEntries},
      {"main length past the end", m.bytes, m.bytes.size() + 1, kEntries},
  };
  for (const auto& c : kCases) {
    RecordingDigest digest;
    std::string sf;
    EXPECT_FALSE(BuildSignatureFile(c.manifest, c.mainLength, c.entries, digest, sf)) << c.what;
  }
}

}  // namespace
}  // namespace tf::android
