// Runs the registered x86 scenarios wave by wave before the tests, then makes
// each scenario's check a test of its own.
#include "x86_scenarios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "discgen.h"

namespace tf::test::x86 {

namespace {

constexpr DWORD kWaveTimeoutMs = 30 * 60 * 1000;

std::vector<std::unique_ptr<Scenario>>& Scenarios() {
  static std::vector<std::unique_ptr<Scenario>> all;
  return all;
}

std::unique_ptr<Shared>& TheShared() {
  static std::unique_ptr<Shared> shared;
  return shared;
}

void RunWave(int wave, Shared& shared) {
  std::vector<Scenario*> members;
  std::vector<ProgramRun> runs;
  for (auto& s : Scenarios()) {
    if (s->Wave() != wave) continue;
    ProgramRun run = s->Prepare(shared);
    if (run.program.empty()) continue;
    members.push_back(s.get());
    runs.push_back(run);
  }
  if (runs.empty()) return;
  std::printf("x86: wave %d starts %zu programs\n", wave, runs.size());
  std::fflush(stdout);
  const ULONGLONG start = GetTickCount64();
  std::vector<ProcessResult> results =
      RunPrograms(runs, kWaveTimeoutMs, [&](size_t i, DWORD pid) { members[i]->WhileRunning(pid); });
  std::printf("x86: wave %d took %llu s\n", wave, (GetTickCount64() - start) / 1000);
  std::fflush(stdout);
  for (size_t i = 0; i < members.size(); ++i) members[i]->result = results[i];
  for (Scenario* s : members) s->AfterWave(shared);
}

class Waves : public ::testing::Environment {
 public:
  void SetUp() override {
    auto& shared = TheShared();
    shared = std::make_unique<Shared>();
    shared->sampleDisc = shared->root / L"Tarnfell.iso";
    discgen::GameOptions options;
    discgen::ImagePlan plan;
    std::string error;
    if (!discgen::GameTree(options, plan, error) ||
        !discgen::WriteImage(plan, std::filesystem::path(shared->sampleDisc), error)) {
      std::printf("x86: the sample disc could not be made: %s\n", error.c_str());
      return;
    }
    RunWave(1, *shared);
    RunWave(2, *shared);
  }
  void TearDown() override { TheShared().reset(); }
};

class ScenarioTest : public ::testing::Test {
 public:
  explicit ScenarioTest(Scenario* s) : s_(s) {}
  void TestBody() override {
    ASSERT_TRUE(s_->result.started) << "the program was not started";
    EXPECT_FALSE(s_->result.timedOut);
    s_->Check(s_->result);
  }

 private:
  Scenario* s_;
};

}  // namespace

std::wstring Shared::Folder(const std::wstring& name) {
  std::wstring path = root / name;
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

std::wstring Shared::SetupCopy(const std::wstring& folderName) {
  const std::wstring copy = Folder(folderName) + L"\\tf_setup.exe";
  return CopyFileW(DistFile(L"tf_setup.exe").c_str(), copy.c_str(), FALSE) ? copy : L"";
}

void Register(std::unique_ptr<Scenario> scenario, const char* name, int wave) {
  static bool environment = [] {
    ::testing::AddGlobalTestEnvironment(new Waves);
    return true;
  }();
  (void)environment;
  scenario->name_ = name;
  scenario->wave_ = wave;
  Scenario* s = scenario.get();
  Scenarios().push_back(std::move(scenario));
  ::testing::RegisterTest("x86", s->Name(), nullptr, nullptr, __FILE__, __LINE__,
                          [s]() -> ::testing::Test* { return new ScenarioTest(s); });
}

std::vector<std::string> OutputLines(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool HasLine(const std::string& output, const std::string& line) {
  const std::vector<std::string> lines = OutputLines(output);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace tf::test::x86
