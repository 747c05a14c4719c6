#!/usr/bin/env node
// Runs the onefile-pack program of this platform's package with the user's
// arguments, and ends with its exit status. ONEFILE_PACK_BINARY may name
// another program to run instead (a build of one's own, or one for a
// platform without a package).
"use strict";
const { spawnSync } = require("child_process");
const path = require("path");

const PLATFORM_PACKAGES = {
  "linux-x64": { name: "onefile-pack-linux-x64", binary: "onefile-pack" },
  "win32-x64": { name: "onefile-pack-win32-x64", binary: "onefile-pack.exe" },
};

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
    fail(`the package ${wanted.name} is missing (was it installed with --no-optional or --omit=optional?)`);
  }
}

const binary = binaryPath();
const run = spawnSync(binary, process.argv.slice(2), { stdio: "inherit" });
if (run.error) fail(`cannot run ${binary}: ${run.error.message}`);
if (run.signal) {
  // Ended by a signal: end the same way, so that the caller sees it as such.
  process.kill(process.pid, run.signal);
}
process.exit(run.status === null ? 1 : run.status);
