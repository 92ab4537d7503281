# Entry points: `make test` and `make demo`. Both install missing Debian packages first.
# `make test` runs the suite three times: as built normally, with AddressSanitizer and
# UndefinedBehaviorSanitizer, and with ThreadSanitizer, each in its own build folder.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

ASAN_ENV = UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp
# The suppressions cover library frames only (Qt, glib, fontconfig), never this project's code.
# die_after_fork=0: tests start the program with QProcess while the simulated instrument's
# thread runs in the test; the child only executes the program.
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp

.PHONY: all deps configure build test test-plain test-asan test-tsan fuzz fuzz-smoke demo bench package windows-package windows-installer clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: test-plain
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan

test-plain: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DDEVCONFIG_SANITIZE=address,undefined $(CMAKE_FLAGS)
	$(ASAN_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DDEVCONFIG_SANITIZE=thread $(CMAKE_FLAGS)
	$(TSAN_ENV) cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && $(TSAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang): a short run each for CI, a bounded minute each by hand.
fuzz-smoke: deps
	scripts/fuzz 10 $(FUZZ_BUILD)

fuzz: deps
	scripts/fuzz 60 $(FUZZ_BUILD)

demo: build
	@scripts/demo $(BUILD)

bench: build
	$(BUILD)/bench/devconfig-bench

# The Debian package devconfig_<version>_<arch>.deb, written to the build folder.
package: build
	cd $(BUILD) && cpack -G DEB

# The Windows zip build-mingw/devconfig-<version>-windows-x64.zip: the program cross-built with
# MinGW-w64 and the prebuilt Qt for MinGW from ../shared/toolchains, with what it needs to run.
windows-package:
	scripts/windows-package

# The Windows installer build-mingw/devconfig-<version>-setup.exe, written with NSIS from the
# zip's files: per user without administrator rights, a Start-menu entry, an uninstaller,
# and /S for a silent install.
windows-installer:
	scripts/windows-package windows-installer

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
