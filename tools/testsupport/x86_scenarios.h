#pragma once
// The x86 tier: scenarios that start the real 32-bit programs of dist/. Each
// start of such a program costs minutes where Wine's 32-bit side is emulated,
// so the scenarios of every subsystem run together, in one test program: all
// of wave 1 at once, then all of wave 2 (programs that need what wave 1 left,
// such as an installed game). Each scenario then checks its result as a test
// of its own, named x86.<scenario>.
//
// A scenario file defines a class in namespace tf::test::x86 and registers it
// with its test's name (and its wave, when not 1):
//   class InstallAndPlay : public Scenario { ... };
//   TF_X86_SCENARIO(InstallAndPlay, "InstallAndPlayEndsWithZero");
// and is listed with tf_add_test_part(x86_e2e_test ...) in its subsystem's CMakeLists.txt.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win_test_support.h"

namespace tf::test::x86 {

// Made once for the whole run.
struct Shared {
  TempDir root;
  std::wstring sampleDisc;                        // a generated game disc
  std::map<std::string, std::wstring> folders;    // what scenarios leave for later waves, by name
  std::wstring Folder(const std::wstring& name);  // a new folder below root
  // dist's tf_setup.exe copied into a new folder below root, so that the log
  // beside it is the scenario's own; empty when it cannot be copied.
  std::wstring SetupCopy(const std::wstring& folderName);
};

class Scenario {
 public:
  virtual ~Scenario() = default;
  const char* Name() const { return name_; }
  int Wave() const { return wave_; }
  // Lays out what the program needs and says what to start; a run without a
  // program is not started (its check then reports why).
  virtual ProgramRun Prepare(Shared& shared) = 0;
  // Runs on the program's own thread while it runs: drives its windows.
  virtual void WhileRunning(DWORD processId) { (void)processId; }
  // After every program of the scenario's wave has ended: what must be seen
  // before a later wave changes it.
  virtual void AfterWave(Shared& shared) { (void)shared; }
  // The checks (GoogleTest assertions) on the program's result.
  virtual void Check(const ProcessResult& result) = 0;

  ProcessResult result;

 private:
  friend void Register(std::unique_ptr<Scenario> scenario, const char* name, int wave);
  const char* name_ = "";
  int wave_ = 1;
};

void Register(std::unique_ptr<Scenario> scenario, const char* name, int wave);

template <typename T>
struct Registrar {
  explicit Registrar(const char* name, int wave = 1) { Register(std::make_unique<T>(), name, wave); }
};

// The lines of a program's output, without their line ends.
std::vector<std::string> OutputLines(const std::string& output);
bool HasLine(const std::string& output, const std::string& line);

}  // namespace tf::test::x86

// TF_X86_SCENARIO(type, "TestName"[, wave])
#define TF_X86_SCENARIO(type, ...) static const ::tf::test::x86::Registrar<type> tf_x86_registrar_##type(__VA_ARGS__)
