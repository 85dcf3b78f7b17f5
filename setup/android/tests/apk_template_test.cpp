// The template reader over archives made in the test, good and corrupted.
#include "android/apk_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "android/zip_records.h"
#include "test_zip.h"

namespace tf::android {
namespace {

using testing::TestEntry;
using testing::TestZip;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kDeflated = 8;

struct ReadResult {
  bool ok = false;
  std::string error;
  std::vector<TemplateEntry> entries;
};

ReadResult Read(const Bytes& b) {
  ReadResult r;
  r.ok = ReadApkTemplate(b.data(), static_cast<uint32_t>(b.size()), r.entries, r.error);
  return r;
}

std::vector<std::string> Names(const std::vector<TemplateEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

Bytes TwoFiles(TestZip& z) {
  z.Add("AndroidManifest.xml", "manifest-bytes").Add("lib/arm64-v8a/libtfapp.so", "library");
  return z.Bytes();
}

// Two stored files, with `edit` made to the archive's bytes.
std::function<Bytes()> TwoFilesEdited(std::function<void(const TestZip&, Bytes&)> edit) {
  return [edit] {
    TestZip z;
    Bytes b = TwoFiles(z);
    edit(z, b);
    return b;
  };
}

struct Case {
  const char* what;
  std::function<Bytes()> make;
  std::string error;  // empty: the read succeeds
  std::vector<std::string> names;  // listed, also on failure
};

const std::string kPastEnd = kMsgTemplatePastEnd;

const Case kCases[] = {
    {"21 bytes are corrupt", [] { return Bytes(21, 0); }, kMsgTemplateCorrupt, {}},
    {"an empty template is corrupt", [] { return Bytes(); }, kMsgTemplateCorrupt, {}},
    {"a bare end record holds no files", [] { return TestZip().Bytes(); }, kMsgTemplateEmpty, {}},
    {"no end signature", [] { return Bytes(4096, 'x'); }, kMsgTemplateNotArchive, {}},
    {"an end signature in the last 21 bytes does not count",
     [] {
       Bytes b(100, 0);
       TestZip::Put32(b, 79, zip::kEndSignature);  // would need 22 bytes from 79
       return b;
     },
     kMsgTemplateNotArchive, {}},
    {"end record exactly 66,000 bytes before the end is found",
     [] {
       TestZip z;
       z.Add("a.txt", "A");
       return z.Bytes(std::string(66000 - 22, 'c'), false);
     },
     "", {"a.txt"}},
    {"end record 66,001 bytes before the end is not",
     [] {
       TestZip z;
       z.Add("a.txt", "A");
       return z.Bytes(std::string(66001 - 22, 'c'), false);
     },
     kMsgTemplateNotArchive, {}},
    {"of two end signatures the higher one is used",
     [] {
       TestZip z;
       Bytes b = TwoFiles(z);
       // A second end record in the comment that claims only the first entry.
       Bytes second(b.begin() + z.EndOffset(), b.end());
       TestZip::Put16(second, zip::end::kTotalEntries, 1);
       Bytes out = z.Bytes(std::string(second.begin(), second.end()));
       return out;
     },
     "", {"AndroidManifest.xml"}},
    {"deflated META-INF file and deflated directory are skipped, stored files kept",
     [] {
       TestZip z;
       z.Add("META-INF/CERT.RSA", "sig", kDeflated).Add("assets/", "", kDeflated).Add("resources.arsc", "table");
       z.Add("META-INF/MANIFEST.MF", "m").Add("", "").Add("res/", "");
       return z.Bytes();
     },
     "", {"resources.arsc"}},
    {"a deflated file fails and names itself",
     [] {
       TestZip z;
       z.Add("AndroidManifest.xml", "m").Add("classes.dex", "dex", kDeflated).Add("later.txt", "x");
       return z.Bytes();
     },
     CompressedEntryMessage("classes.dex"), {"AndroidManifest.xml"}},
    {"any method other than 0 counts as compressed",
     [] { return TestZip().Add("x.bin", "x", 1).Bytes(); }, CompressedEntryMessage("x.bin"), {}},
    {"META-INF without a slash and lower-case meta-inf/ are files",
     [] {
       TestZip z;
       z.Add("META-INF", "1").Add("meta-inf/x", "2").Add("META-INF/", "").Add("META-INFO/y", "3");
       return z.Bytes();
     },
     "", {"META-INF", "meta-inf/x", "META-INFO/y"}},
    {"only signature files and directories: nothing kept",
     [] { return TestZip().Add("META-INF/A.SF", "s").Add("lib/", "").Bytes(); }, kMsgTemplateEmpty, {}},
    {"a directory claiming more entries than it holds",
     TwoFilesEdited([](const TestZip& z, Bytes& b) { TestZip::Put16(b, z.EndOffset() + zip::end::kTotalEntries, 3); }),
     kMsgTemplateBadDirectory, {"AndroidManifest.xml", "lib/arm64-v8a/libtfapp.so"}},
    {"a central record with a broken signature",
     TwoFilesEdited([](const TestZip& z, Bytes& b) { b[z.CentralOffset(1)] ^= 0x01; }),
     kMsgTemplateBadDirectory, {"AndroidManifest.xml"}},
    {"a directory offset past the end",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put32(b, z.EndOffset() + zip::end::kDirectoryOffset, 0xFFFFFFF0u);
     }),
     kMsgTemplateBadDirectory, {}},
    {"a central record whose 46 bytes run past the end",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put32(b, z.EndOffset() + zip::end::kDirectoryOffset, static_cast<uint32_t>(b.size() - 45));
     }),
     kMsgTemplateBadDirectory, {}},
    {"a central record whose name runs past the end",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put16(b, z.CentralOffset(1) + zip::central::kNameLength, 0xFFFF);
     }),
     kMsgTemplateBadDirectory, {"AndroidManifest.xml"}},
    {"central extra fields and comments are stepped over",
     [] {
       TestZip z;
       z.Add(TestEntry{"a.txt", "A", 0, {}, std::string(9, 'e'), "a comment"});
       z.Add(TestEntry{"b.txt", "B", 0, {}, "x", {}});
       return z.Bytes();
     },
     "", {"a.txt", "b.txt"}},
    {"local-header offset of length - 29",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put32(b, z.CentralOffset(1) + zip::central::kLocalHeaderOffset, static_cast<uint32_t>(b.size() - 29));
     }),
     kMsgTemplateBadOffset, {"AndroidManifest.xml"}},
    {"local-header offset of length - 30 with no data",
     [] {
       TestZip z;
       z.Add("AndroidManifest.xml", "m").Add("empty.bin", "");
       Bytes b = z.Bytes();
       // Its name and extra lengths then read the end record's zero high offset and comment length.
       TestZip::Put32(b, z.CentralOffset(1) + zip::central::kLocalHeaderOffset, static_cast<uint32_t>(b.size() - 30));
       return b;
     },
     "", {"AndroidManifest.xml", "empty.bin"}},
    {"a local-header offset near 4 GiB does not wrap",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put32(b, z.CentralOffset(0) + zip::central::kLocalHeaderOffset, 0xFFFFFFF0u);
     }),
     kMsgTemplateBadOffset, {}},
    {"data ending at the last byte of the template",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       size_t data = z.LocalOffset(1) + 30 + std::string("lib/arm64-v8a/libtfapp.so").size();
       TestZip::Put32(b, z.CentralOffset(1) + zip::central::kCompressedSize, static_cast<uint32_t>(b.size() - data));
     }),
     "", {"AndroidManifest.xml", "lib/arm64-v8a/libtfapp.so"}},
    {"data running one byte past the end",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       size_t data = z.LocalOffset(1) + 30 + std::string("lib/arm64-v8a/libtfapp.so").size();
       TestZip::Put32(b, z.CentralOffset(1) + zip::central::kCompressedSize,
                      static_cast<uint32_t>(b.size() - data + 1));
     }),
     kPastEnd, {"AndroidManifest.xml"}},
    {"a size near 4 GiB does not wrap",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put32(b, z.CentralOffset(0) + zip::central::kCompressedSize, 0xFFFFFFFFu);
     }),
     kPastEnd, {}},
    {"a local extra length that pushes the data out",
     TwoFilesEdited([](const TestZip& z, Bytes& b) {
       TestZip::Put16(b, z.LocalOffset(1) + zip::local::kExtraLength, 0xFFFF);
     }),
     kPastEnd, {"AndroidManifest.xml"}},
};

class TemplateCases : public ::testing::TestWithParam<Case> {};

TEST_P(TemplateCases, ListsOrFails) {
  const Case& c = GetParam();
  Bytes b = c.make();
  const Bytes before = b;
  std::string error = "untouched";
  std::vector<TemplateEntry> entries;
  bool ok = ReadApkTemplate(b.data(), static_cast<uint32_t>(b.size()), entries, error);
  EXPECT_EQ(ok, c.error.empty()) << error;
  EXPECT_EQ(error, c.error.empty() ? "untouched" : c.error);
  EXPECT_EQ(Names(entries), c.names);
  EXPECT_EQ(b, before) << "the template bytes must not change";
  for (const TemplateEntry& e : entries) {
    ASSERT_GE(e.data, b.data());
    ASSERT_LE(e.data + e.size, b.data() + b.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Reader, TemplateCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ApkTemplate, EntriesViewTheirStoredBytes) {
  TestZip z;
  z.Add(TestEntry{"AndroidManifest.xml", "<manifest/>", 0, "LOCALX", {}, {}});  // local extra moves the data
  z.Add("resources.arsc", "");
  z.Add("lib/arm64-v8a/libtfgame.so", std::string(5000, '\x7f'));
  Bytes b = z.Bytes("archive comment");
  ReadResult r = Read(b);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.entries[0].data), r.entries[0].size), "<manifest/>");
  EXPECT_EQ(r.entries[0].data, b.data() + z.LocalOffset(0) + 30 + 19 + 6);
  EXPECT_EQ(r.entries[1].size, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.entries[2].data), r.entries[2].size),
            std::string(5000, '\x7f'));
}

TEST(ApkTemplate, NamesKeepTheirBytesAndDuplicates) {
  TestZip z;
  z.Add("res/\xc3\xa9t\xc3\xa9.png", "1").Add("b", "2").Add("b", "3");
  ReadResult r = Read(z.Bytes());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Names(r.entries), (std::vector<std::string>{"res/\xc3\xa9t\xc3\xa9.png", "b", "b"}));
}

// The archive cut short before its end record, which then points at bytes
// that are missing or shifted. Each cut either fails with a message or lists
// entries whose bytes lie inside what is left; none reads out of bounds.
TEST(ApkTemplate, CutsBeforeTheEndRecord) {
  TestZip z;
  z.Add("AndroidManifest.xml", "m").Add("resources.arsc", "r").Add("lib/arm64-v8a/libtfapp.so", "l");
  Bytes full = z.Bytes();
  size_t failed = 0;
  for (size_t n = 0; n < z.EndOffset(); ++n) {
    Bytes cut(full.begin(), full.begin() + n);
    cut.insert(cut.end(), full.begin() + z.EndOffset(), full.end());
    ReadResult r = Read(cut);
    if (!r.ok) {
      ++failed;
      EXPECT_FALSE(r.error.empty()) << "cut at " << n;
    }
    for (const TemplateEntry& e : r.entries) {
      EXPECT_GE(e.data, cut.data()) << "cut at " << n;
      EXPECT_LE(e.data + e.size, cut.data() + cut.size()) << "cut at " << n;
    }
  }
  // Only cuts that leave the first records whole can still read.
  EXPECT_GE(failed, z.CentralOffset(2));
}

#ifdef TF_APK_TEMPLATE_PATH
TEST(ApkTemplate, TheGeneratedTemplateListsItsNineEntries) {
  std::ifstream in(TF_APK_TEMPLATE_PATH, std::ios::binary);
  ASSERT_TRUE(in) << TF_APK_TEMPLATE_PATH;
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ReadResult r = Read(b);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Names(r.entries), (std::vector<std::string>{
                                  "AndroidManifest.xml",
                                  "res/mipmap-mdpi-v4/ic_launcher.png",
                                  "res/mipmap-hdpi-v4/ic_launcher.png",
                                  "res/mipmap-xhdpi-v4/ic_launcher.png",
                                  "res/mipmap-xxhdpi-v4/ic_launcher.png",
                                  "res/mipmap-xxxhdpi-v4/ic_launcher.png",
                                  "resources.arsc",
                                  "lib/arm64-v8a/libtfapp.so",
                                  "lib/arm64-v8a/libtfgame.so",
                              }));
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (size_t i = 1; i <= 5; ++i) {
    ASSERT_GE(r.entries[i].size, 8u);
    EXPECT_TRUE(std::equal(kPng, kPng + 8, r.entries[i].data)) << r.entries[i].name;
  }
}
#endif

}  // namespace
}  // namespace tf::android
