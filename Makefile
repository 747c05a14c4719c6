# The front door: set-up, builds and tests.
#   make demo                      set up, pack the demo application and run it
#   make test                      set up, build everything, run every test
#   make bench                     run the benchmarks (minutes; not part of test)
#   make exe PAYLOAD=f OUT=x.exe [TEMPLATE=t] [VERSION=v]
#                                  a bootstrap carrying exactly the bytes of f
#   make install [PREFIX=/usr/local]
#                                  onefile-pack and its CMake package
SHELL := /bin/bash
DEPS_DIR ?= $(CURDIR)/.deps
BUILD_DIR ?= $(CURDIR)/build
WINE_PREFIX ?= $(DEPS_DIR)/wine
JOBS ?= 2
HOST_BUILD := $(BUILD_DIR)/host
WINDOWS_BUILD := $(BUILD_DIR)/windows
# Only a TEMPLATE or VERSION given on the command line reaches make exe: one
# in the environment (common on CI machines) must not change what is built.
# Without them the link script's defaults apply.
shell_quote = '$(subst ','\'',$(1))'
given_option = $(if $(filter command line,$(origin $(1))),--$(2) $(call shell_quote,$($(1))))

export DEPS_DIR

PREFIX ?= /usr/local

.PHONY: all setup host windows bootstrap-libs test bench exe demo install clean

all: host windows

setup:
	@bash scripts/setup.sh
	@bash scripts/wine-prefix.sh "$(WINE_PREFIX)"

$(HOST_BUILD)/CMakeCache.txt:
	cmake -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=Release

$(WINDOWS_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-toolchain.cmake \
	  -DWINE_PREFIX=$(WINE_PREFIX) -DONEFILE_DEPS_DIR=$(DEPS_DIR) \
	  -DONEFILE_HOST_BUILD_DIR=$(HOST_BUILD)

host: setup $(HOST_BUILD)/CMakeCache.txt
	cmake --build $(HOST_BUILD) -j $(JOBS)

windows: host $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test: host windows
	JOBS=$(JOBS) bash scripts/run-tests.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)

# Benchmarks: ratios against native limits, measured in one run (not tests).
bench: host windows
	bash benchmarks/run.sh $(HOST_BUILD) $(WINDOWS_BUILD) $(WINE_PREFIX)

bootstrap-libs: setup $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target onefile_entry onefile_bootstrap

exe: bootstrap-libs
	@[ -n "$(PAYLOAD)" ] && [ -n "$(OUT)" ] || { echo "usage: make exe PAYLOAD=<file> OUT=<file.exe> [TEMPLATE=..] [VERSION=..]" >&2; exit 2; }
	ONEFILE_LINK_CONFIG=$(WINDOWS_BUILD)/link-config.sh bash scripts/link-bootstrap.sh \
	  $(call shell_quote,$(PAYLOAD)) $(call shell_quote,$(OUT)) \
	  $(call given_option,TEMPLATE,template) $(call given_option,VERSION,version)

# The demo: only what it needs is built, so a second run takes seconds.
demo: host $(WINDOWS_BUILD)/CMakeCache.txt
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target demo greeting >/dev/null
	@bash scripts/demo.sh $(HOST_BUILD)/tools/onefile-pack/onefile-pack $(WINDOWS_BUILD)/demo/app \
	  $(BUILD_DIR)/demo $(WINE_PREFIX)

install: host
	cmake --install $(HOST_BUILD) --prefix $(call shell_quote,$(PREFIX))

clean:
	rm -rf $(BUILD_DIR)
