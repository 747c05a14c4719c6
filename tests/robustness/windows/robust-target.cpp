#include "robust-target.h"

#include <gtest/gtest.h>

#include <fstream>

#include "run-outcome.h"

namespace robustness {

std::wstring packedFolder() { return harness::binPath(L"robust-app-folder"); }

RobustTarget::RobustTarget(const std::wstring& suffix, const std::wstring& bootstrapName)
    : temp(harness::freshTestDir(suffix)), target(temp + L"\\app"), bootstrap(harness::binPath(bootstrapName)) {}

harness::RunResult RobustTarget::start(harness::RunOptions options) const {
  harness::pointTempAt(&options, temp);
  return harness::run(bootstrap, options);
}

HANDLE RobustTarget::startDetached(harness::RunOptions options) const {
  harness::pointTempAt(&options, temp);
  return harness::start(bootstrap, options);
}

void expectCorrectRun(const harness::RunResult& result, const std::wstring& target) {
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
  EXPECT_EQ(result.out, APP_RAN);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(harness::treeDifference(packedFolder(), target), "") << "the target differs from the packed folder";
}

void recordFigure(const std::string& key, long value) {
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetEnvironmentVariableW(L"ONEFILE_STRESS_SUMMARY", path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return;
  std::ofstream out(harness::narrow(harness::windowsPath(std::wstring(path, length))), std::ios::app);
  out << key << ' ' << value << '\n';
}

class FigureRecorder : public testing::Environment {
 public:
  explicit FigureRecorder(const CaseFigures* figures) : figures_(figures) {}
  void TearDown() override {
    recordFigure(figures_->triedKey_, figures_->tried_);
    recordFigure(figures_->passedKey_, figures_->passed_);
  }

 private:
  const CaseFigures* figures_;
};

CaseFigures::CaseFigures(const char* triedKey, const char* passedKey) : triedKey_(triedKey), passedKey_(passedKey) {
  testing::AddGlobalTestEnvironment(new FigureRecorder(this));
}

void CaseFigures::count() {
  ++tried_;
  if (!testing::Test::HasFailure()) ++passed_;
}

}  // namespace robustness
