// The payload's bytes written from windows of the program's own file: the
// same bytes in the same chunks as from the image, one window mapped at a
// time, and the image used where the file cannot serve. Resources 9001 to 9004
// (image_bytes_test.cmake) have the sizes of the chunk edges.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/tests/file_seam.h"
#include "pipeline/program_file.h"
#include "runtime_payload.h"
#include "win_test_support.h"

namespace {

using tf::test::TempDir;
using Seam = tf::test::FileSeam;
constexpr DWORD kMiB = 0x100000;

struct Resource {
  const uint8_t* data = nullptr;
  DWORD size = 0;
};

Resource Find(WORD id) {
  Resource r;
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
  HGLOBAL loaded = info ? LoadResource(nullptr, info) : nullptr;
  r.data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  r.size = info ? SizeofResource(nullptr, info) : 0;
  return r;
}

bool InImage(const void* p) {
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const auto* b = static_cast<const uint8_t*>(p);
  return b >= base && b < base + nt->OptionalHeader.SizeOfImage;
}

bool SameBytes(const std::wstring& path, const void* data, size_t size) {
  std::vector<uint8_t> back;
  return tf::test::ReadFileBytes(path, back) && back.size() == size && (size == 0 || std::memcmp(back.data(), data, size) == 0);
}

struct Region {
  DWORD state = 0, type = 0;
  const void* base = nullptr;
  SIZE_T size = 0;  // of the whole mapping, from its base
};
Region RegionAt(const void* p) {
  MEMORY_BASIC_INFORMATION m{};
  if (VirtualQuery(p, &m, sizeof(m)) == 0) return {};
  Region r{m.State, m.Type, m.AllocationBase, 0};
  if (m.State != MEM_FREE && VirtualQuery(m.AllocationBase, &m, sizeof(m)) != 0) r.size = m.RegionSize;
  return r;
}

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return self;
}

struct EdgeCase {
  WORD id;
  DWORD size;
  std::vector<DWORD> writes;
} const kEdges[] = {
    {9001, kMiB, {kMiB}},
    {9002, kMiB + 1, {kMiB, 1}},
    {9003, 0, {}},
    {9004, 100003, {100003}},
};

TEST(ImageBytes, WrittenFromTheProgramFileInWholeChunks) {
  tf::ProgramFile file;
  ASSERT_TRUE(file.Open());
  std::vector<uint8_t> program;
  ASSERT_TRUE(tf::test::ReadFileBytes(ProgramPath(), program));
  TempDir dir;
  bool unaligned = false;
  const void* lastWindow = nullptr;
  for (const EdgeCase& c : kEdges) {
    SCOPED_TRACE(c.id);
    const Resource r = Find(c.id);
    ASSERT_NE(r.data, nullptr);
    ASSERT_EQ(r.size, c.size);
    uint64_t offset = 0;
    ASSERT_TRUE(file.OffsetOf(r.data, r.size, offset));
    ASSERT_LE(offset + r.size, program.size());
    EXPECT_EQ(std::memcmp(program.data() + offset, r.data, r.size), 0) << "the offset holds the resource";
    unaligned |= offset % 0x10000 != 0;

    Seam seam;
    std::string error = "untouched";
    ASSERT_TRUE(tf::WriteImageBytes(dir / L"out.bin", r.data, r.size, &file, error, Seam::Calls()));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Seam::writes, c.writes);
    for (const void* p : Seam::writeData) EXPECT_FALSE(InImage(p)) << "a chunk came from the image";
    EXPECT_TRUE(SameBytes(dir / L"out.bin", r.data, r.size));
    // Only the last window is still mapped, and it spans one chunk (plus the
    // alignment of its start); a window's address may be used again by the next.
    if (Seam::writeData.empty()) continue;
    const Region last = RegionAt(Seam::writeData.back());
    EXPECT_EQ(last.type, static_cast<DWORD>(MEM_MAPPED));
    EXPECT_LE(last.size, kMiB + 0x10000);
    for (const void* p : Seam::writeData) {
      const Region r = RegionAt(p);
      EXPECT_TRUE(r.state == MEM_FREE || r.base == last.base) << "an earlier window is still mapped";
    }
    lastWindow = Seam::writeData.back();
  }
  EXPECT_TRUE(unaligned) << "no resource at a window's unaligned offset: the case is not tried";
  ASSERT_NE(lastWindow, nullptr);
  file = tf::ProgramFile();
  EXPECT_EQ(RegionAt(lastWindow).state, static_cast<DWORD>(MEM_FREE)) << "the last window goes with the file";
}

TEST(ImageBytes, WithoutTheProgramFileOrOutsideTheImageTheBytesComeFromMemory) {
  tf::ProgramFile file;
  ASSERT_TRUE(file.Open());
  std::vector<uint8_t> heap(kMiB + 7);
  for (size_t i = 0; i < heap.size(); ++i) heap[i] = static_cast<uint8_t>(i * 131 + (i >> 11));
  const Resource r = Find(9002);
  struct {
    const char* what;
    const uint8_t* data;
    DWORD size;
    tf::ProgramFile* file;
  } cases[] = {
      {"resource, no file", r.data, r.size, nullptr},
      {"heap bytes, file", heap.data(), static_cast<DWORD>(heap.size()), &file},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Seam seam;
    std::string error;
    ASSERT_TRUE(tf::WriteImageBytes(dir / L"out.bin", c.data, c.size, c.file, error, Seam::Calls())) << error;
    ASSERT_EQ(Seam::writeData.size(), 2u);
    EXPECT_EQ(Seam::writeData[0], c.data);
    EXPECT_EQ(Seam::writeData[1], c.data + kMiB);
    EXPECT_TRUE(SameBytes(dir / L"out.bin", c.data, c.size));
  }
}

TEST(ImageBytes, AFailedWriteLeavesNoFileAndSaysDiskFull) {
  tf::ProgramFile file;
  ASSERT_TRUE(file.Open());
  const Resource r = Find(9002);
  TempDir dir;
  Seam seam;
  Seam::failWrite = 1;
  std::string error;
  EXPECT_FALSE(tf::WriteImageBytes(dir / L"out.bin", r.data, r.size, &file, error, Seam::Calls()));
  EXPECT_EQ(error, "Could not write to the install folder (the disk may be full).");
  EXPECT_TRUE(tf::test::FolderNames(dir.Path()).empty()) << "neither the file nor its temporary file";
}

TEST(ImageBytes, TheRuntimePayloadTakesNoChunkFromTheImage) {
  TempDir dir;
  Seam seam;
  std::string error;
  ASSERT_TRUE(tf::WriteRuntimePayload(dir.Path(), 1280, 720, 0, error, Seam::Calls())) << error;
  ASSERT_GT(Seam::writeData.size(), 20u) << "the loader alone takes more chunks";
  for (const void* p : Seam::writeData) EXPECT_FALSE(InImage(p));
}

}  // namespace
