// build --sign interrupted while a signing program runs (a stand-in on PATH
// that stalls on one file): the tool still ends of the signal it got, and
// leaves neither output nor anything in the temporary-files folder, the
// password's file included. Killed, it can remove nothing: the next build to
// the same output removes its unfinished output, which no build removes
// while it is still written.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "test-support.h"

namespace {

using namespace testing_support;

// Copies -in to -out; before the file whose -out name starts with $STALL, it
// writes its process number to $MARKER and waits to be interrupted.
constexpr char STAND_IN_SIGNER[] = R"(#!/bin/sh
while [ $# -gt 0 ]; do case $1 in -in) in=$2; shift;; -out) out=$2; shift;; esac; shift; done
case ${out##*/} in "$STALL"*) echo $$ >"$MARKER.tmp"; mv "$MARKER.tmp" "$MARKER"; sleep 60;; esac
exec cp "$in" "$out"
)";

// The build runs with only the environment given.
pid_t startBuild(std::vector<std::string> arguments, std::vector<std::string> environment) {
  arguments.insert(arguments.begin(), packPath());
  std::vector<char*> argv, envp;
  for (std::string& text : arguments) argv.push_back(text.data());
  for (std::string& variable : environment) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  // A test runner may have started this with an interrupt ignored; the tool
  // keeps what it is given, so the build gets the default actions.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t child = -1;
  int error = posix_spawn(&child, argv[0], nullptr, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? child : -1;
}

TEST(InterruptedBuild, LeavesNeitherOutputNorTemporaryFiles) {
  ScratchFolder folder;
  for (const char* name : {"app.exe", "lib/one.dll", "lib/two.dll"}) writeFile(folder / "app" / name, programImage(2));
  writeFile(folder / "app/data.bin", "data");
  writeFile(folder / "bin/osslsigncode", STAND_IN_SIGNER);
  fs::permissions(folder / "bin/osslsigncode", fs::perms::owner_all);
  writeFile(folder / "cert.pem", "a certificate");
  writeFile(folder / "key.pem", "a key");
  std::vector<std::string> appBefore = entriesOf(folder / "app/lib");
  std::string mainBefore = readFile(folder / "app/app.exe");
  struct Case {
    int signal;
    const char* stall;  // signed-N: a file of the folder; signed-executable: the output, written and pending
  };
  for (Case interrupt : {Case{SIGINT, "signed-"}, Case{SIGTERM, "signed-"}, Case{SIGHUP, "signed-"},
                         Case{SIGINT, "signed-executable"}, Case{SIGTERM, "signed-executable"},
                         Case{SIGKILL, "signed-executable"}}) {
    SCOPED_TRACE(std::string(strsignal(interrupt.signal)) + " while signing " + interrupt.stall);
    fs::path temporary = folder / "tmp", marker = folder / "marker", out = folder / "out";
    fs::remove_all(temporary);
    fs::remove_all(out);
    fs::create_directories(temporary);
    fs::create_directories(out);
    fs::remove(marker);
    pid_t build = startBuild({"build", (folder / "app").string(), "--main", "app.exe", "-o", (out / "x.exe").string(),
                              "-q", "--threads", "1", "--sign-cert", (folder / "cert.pem").string(), "--sign-key",
                              (folder / "key.pem").string(), "--sign-password-env", "PASS"},
                             {"TMPDIR=" + temporary.string(), "MARKER=" + marker.string(), "PASS=a secret",
                              std::string("STALL=") + interrupt.stall,
                              "PATH=" + (folder / "bin").string() + ":/usr/bin:/bin"});
    ASSERT_GT(build, 0);
    for (int waited = 0; !fs::exists(marker) && waited < 3000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(marker)) << "the signing program never started";
    ASSERT_EQ(entriesOf(temporary).size(), 1u);  // the private folder, with the signed copies
    std::vector<std::string> held = entriesOf(temporary / entriesOf(temporary)[0]);
    EXPECT_NE(std::find(held.begin(), held.end(), "password"), held.end());  // the signing program's to read
    bool outputPending = std::string(interrupt.stall) == "signed-executable";
    EXPECT_EQ(entriesOf(out).size(), outputPending ? 1u : 0u);
    bool killed = interrupt.signal == SIGKILL;
    const std::vector<std::string> plainBuild = {"build", (folder / "app").string(), "--main", "app.exe", "-o",
                                                 (out / "x.exe").string(), "-q", "--level", "1", "--version", "1",
                                                 "--name", "Acme.App"};
    if (killed) {
      CommandResult beside = runPack(plainBuild);
      EXPECT_EQ(beside.status, 0) << beside.err;
      EXPECT_EQ(beside.err, "");
      EXPECT_EQ(entriesOf(out).size(), 2u) << "x.exe, and the unfinished output still written";
    }
    kill(build, interrupt.signal);
    int status = 0;
    ASSERT_EQ(waitpid(build, &status, 0), build);
    kill(std::stoi(readFile(marker)), SIGKILL);  // the stand-in, which only a terminal would interrupt too
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), interrupt.signal);
    if (killed) {
      std::vector<std::string> left = entriesOf(out);
      ASSERT_EQ(left.size(), 2u);
      std::string partial = left[0] == "x.exe" ? left[1] : left[0];
      CommandResult next = runPack(plainBuild);
      EXPECT_EQ(next.err, "onefile-pack: removed " + (out / partial).string() +
                              ", the unfinished output of an earlier run that was killed\n");
      EXPECT_EQ(entriesOf(out), std::vector<std::string>{"x.exe"});
    } else {
      EXPECT_EQ(entriesOf(temporary), std::vector<std::string>{});
      EXPECT_EQ(entriesOf(out), std::vector<std::string>{});  // neither x.exe nor its .partial- file
    }
    EXPECT_EQ(entriesOf(folder / "app/lib"), appBefore);
    EXPECT_EQ(readFile(folder / "app/app.exe"), mainBefore);
  }
}

}  // namespace
