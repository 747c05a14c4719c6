#!/usr/bin/env node
// Runs the onefile-pack program of this platform's package with the user's
// arguments, and ends with its exit status. ONEFILE_PACK_BINARY may name
// another program to run instead (a build of one's own, or one for a
// platform without a package).
"use strict";
const { spawn } = require("child_process");
const os = require("os");
const path = require("path");

const PLATFORM_PACKAGES = {
  "linux-x64": { name: "onefile-pack-linux-x64", binary: "onefile-pack" },
  "win32-x64": { name: "onefile-pack-win32-x64", binary: "onefile-pack.exe" },
};
// On POSIX a CI timeout or a process manager stops only the process it
// started: these go on to the program, which removes its unfinished output
// and ends.
const RELAYED_SIGNALS = ["SIGINT", "SIGTERM", "SIGHUP"];
// On Windows the console's Ctrl+C, Ctrl+Break and closing reach the program
// itself, which may take seconds to end its signing programs and remove its
// private folder and unfinished output; a relay would end it at once
// (child.kill terminates, whatever the signal). This script stays for them,
// and ends as the program does.
const CONSOLE_SIGNALS = ["SIGINT", "SIGBREAK", "SIGHUP"];
const HANDLED_SIGNALS = process.platform === "win32" ? CONSOLE_SIGNALS : RELAYED_SIGNALS;

function fail(message) {
  process.stderr.write(`onefile-pack: ${message}\n`);
  process.exit(1);
}

function binaryPath() {
  const named = process.env.ONEFILE_PACK_BINARY;
  if (named) return named;
  const platform = `${process.platform}-${process.arch}`;
  const wanted = PLATFORM_PACKAGES[platform];
  if (!wanted) fail(`no onefile-pack program is packaged for ${platform}; ONEFILE_PACK_BINARY may name one`);
  try {
    return path.join(path.dirname(require.resolve(`${wanted.name}/package.json`)), "bin", wanted.binary);
  } catch (error) {
    // Whatever left it out (a registry without it, the package file installed
    // alone, --omit=optional), the remedy is the same.
    const version = require("../package.json").version;
    fail(`${wanted.name}@${version}, the package that holds the program for ${platform}, is not installed\n` +
      `onefile-pack: install it from its release file with npm install --save-optional ./${wanted.name}-${version}.tgz ` +
      `(or from a registry that has it: npm install --save-optional ${wanted.name}@${version})`);
  }
}

// Ends this process the way the program ended: by the same signal, so that
// the caller sees it as such, or with its status.
function endAsProgram(status, signal) {
  if (signal) {
    for (const handled of HANDLED_SIGNALS) process.removeAllListeners(handled);
    process.kill(process.pid, signal);
    // A signal Node keeps a handler of its own for may not end it.
    process.exit(128 + (os.constants.signals[signal] || 0));
  }
  process.exit(status === null ? 1 : status);
}

const binary = binaryPath();
const program = spawn(binary, process.argv.slice(2), { stdio: "inherit" });
// Listening alone keeps Node from ending this script at the signal.
const onSignal = process.platform === "win32" ? () => {} : (signal) => program.kill(signal);
for (const signal of HANDLED_SIGNALS) process.on(signal, onSignal);
program.on("error", (error) => fail(`cannot run ${binary}: ${error.message}`));
program.on("exit", endAsProgram);
