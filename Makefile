# The front door: set-up, builds and tests.
#   make demo                      set up, pack the demo application and run it
#   make test                      set up, build everything, run every test, a
#                                  smoke run of the benchmarks (seconds) and make dist
#   make bench                     run the benchmarks (minutes; results in docs/bench)
#   make stress                    the long robustness runs, ending with their figures
#   make windows-signer-check      onefile-pack.exe signing with osslsigncode's own
#                                  Windows build (made once; a quarter of an hour the first time)
#   make coverage                  branch coverage of the bootstrap under the Windows
#                                  tests and of tools/ under the host tests (minutes)
#   make exe PAYLOAD=f OUT=x.exe [TEMPLATE=t] [VERSION=v]
#                                  a bootstrap carrying exactly the bytes of f
#   make host                      onefile-pack (and the bootstrap stub it carries)
#   make install [PREFIX=/usr/local]
#                                  onefile-pack and its CMake package
#   make dist [DIST_DIR=build/dist]
#                                  the release files: Linux and Windows archives,
#                                  the Debian package, the npm packages, SHA256SUMS
#   make dist-check                those files installed into fresh Debian roots, and
#                                  the npm packages from a local registry
#                                  (debootstrap; minutes, needs root and the network)
SHELL := /bin/bash
DEPS_DIR ?= $(CURDIR)/.deps
BUILD_DIR ?= $(CURDIR)/build
WINE_PREFIX ?= $(DEPS_DIR)/wine
JOBS ?= 2
HOST_BUILD := $(BUILD_DIR)/host
WINDOWS_BUILD := $(BUILD_DIR)/windows
# Only a TEMPLATE or VERSION given on the command line reaches make exe: one
# in the environment (common on CI machines) must not change what is built.
# Without them onefile-pack's defaults apply.
shell_quote = '$(subst ','\'',$(1))'
given_option = $(if $(filter command line,$(origin $(1))),--$(2) $(call shell_quote,$($(1))))

export DEPS_DIR

PREFIX ?= /usr/local
DIST_DIR ?= $(BUILD_DIR)/dist
# The release files' time stamps: the commit's time, unless given.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)

.PHONY: all setup stub host windows test bench stress windows-signer-check coverage exe demo install dist dist-check clean
STUB := $(WINDOWS_BUILD)/stub/onefile-stub.exe
ONEFILE_PACK := $(HOST_BUILD)/tools/onefile-pack/onefile-pack

all: host windows

setup:
	@bash scripts/setup.sh
	@bash scripts/wine-prefix.sh "$(WINE_PREFIX)"

# onefile-pack carries the prebuilt bootstrap, and the Windows tests use
# onefile-pack: the stub is built first, then the host build around it, then
# the rest of the Windows build. Both configurations read what the set-up
# puts into .deps, so under make -j they wait for it. A configuration older
# than this Makefile is made again, so that a build folder from an earlier
# checkout picks up settings added since (cmake leaves an unchanged cache
# alone, hence the touch).
$(HOST_BUILD)/CMakeCache.txt: Makefile | setup
	cmake -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=Release -DONEFILE_STUB=$(STUB) -DONEFILE_DEPS_DIR=$(DEPS_DIR)
	@touch $@

$(WINDOWS_BUILD)/CMakeCache.txt: Makefile | setup
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-toolchain.cmake \
	  -DWINE_PREFIX=$(WINE_PREFIX) -DONEFILE_DEPS_DIR=$(DEPS_DIR) \
	  -DONEFILE_HOST_BUILD_DIR=$(HOST_BUILD)
	@touch $@

stub: setup $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target onefile-stub

host: stub $(HOST_BUILD)/CMakeCache.txt
	cmake --build $(HOST_BUILD) -j $(JOBS)

windows: host $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test: host windows
	JOBS=$(JOBS) bash scripts/run-tests.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)
	bash benchmarks/run.sh --smoke $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)
	@# The release files, written and checked (a minute); their check in
	@# fresh Debian roots is make dist-check.
	$(MAKE) --no-print-directory dist DIST_DIR=$(BUILD_DIR)/dist-test

# Benchmarks: ratios against native limits, measured in one run (not tests).
bench: host windows
	bash benchmarks/run.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)

# Robustness: damaged payloads and caches, concurrent starts, hostile
# surroundings, round trips and fuzzing (tens of minutes; not part of test).
stress: host windows
	JOBS=$(JOBS) bash scripts/run-stress.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)

# onefile-pack.exe signing under Wine with osslsigncode's own Windows build,
# cross-built once from Debian's sources into DEPS_DIR (a quarter of an hour the
# first time; not part of test).
windows-signer-check: windows
	JOBS=$(JOBS) bash scripts/windows-signer.sh $(DEPS_DIR)
	WINEPREFIX=$(WINE_PREFIX) bash tests/windows/packer/real-signer.sh \
	  $(WINDOWS_BUILD)/tools/onefile-pack/onefile-pack.exe $(ONEFILE_PACK) \
	  $(DEPS_DIR)/windows-signer/osslsigncode.exe $(BUILD_DIR)/windows-signer-check

# Coverage: instrumented builds of their own (build/coverage-*), every test,
# then the figures per folder and every line and branch no test reached.
coverage: setup
	JOBS=$(JOBS) bash scripts/coverage.sh $(BUILD_DIR) $(DEPS_DIR) $(WINE_PREFIX)

exe: host
	@[ -n "$(PAYLOAD)" ] && [ -n "$(OUT)" ] || { echo "usage: make exe PAYLOAD=<file> OUT=<file.exe> [TEMPLATE=..] [VERSION=..]" >&2; exit 2; }
	$(ONEFILE_PACK) build --payload $(call shell_quote,$(PAYLOAD)) -o $(call shell_quote,$(OUT)) --unchecked -q \
	  $(call given_option,TEMPLATE,template) $(call given_option,VERSION,version)

# The demo: only what it needs is built, so a second run takes seconds.
demo: stub $(HOST_BUILD)/CMakeCache.txt
	@cmake --build $(HOST_BUILD) -j $(JOBS) --target onefile-pack >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target demo greeting >/dev/null
	@bash scripts/demo.sh $(ONEFILE_PACK) $(WINDOWS_BUILD)/demo/app \
	  $(BUILD_DIR)/demo $(WINE_PREFIX)

install: host
	cmake --install $(HOST_BUILD) --prefix $(call shell_quote,$(PREFIX))

# The release files, from the host build (its static packer beside the usual
# one) and onefile-pack.exe of the Windows build, checked once written.
dist: host
	cmake --build $(HOST_BUILD) -j $(JOBS) --target onefile-pack-static
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target onefile-pack
	SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) bash packaging/make-dist.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(call shell_quote,$(DIST_DIR))
	bash tests/dist/check-artifacts.sh $(call shell_quote,$(DIST_DIR))

# The release files on machines that never saw this project: the Debian
# package and the Linux archive each in a fresh Debian root; the npm packages
# published to a registry of their own and installed as users will.
dist-check: dist
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target demo greeting
	bash tests/dist/npm-registry.sh $(call shell_quote,$(DIST_DIR)) $(WINDOWS_BUILD)/demo/app $(BUILD_DIR)/npm-registry
	bash tests/dist/fresh-roots.sh $(call shell_quote,$(DIST_DIR)) $(WINDOWS_BUILD)/demo/app $(ONEFILE_PACK) \
	  $(BUILD_DIR)/dist-roots $(WINE_PREFIX)

clean:
	rm -rf $(BUILD_DIR)
