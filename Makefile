# Lumora's entry points. `make run` and `make test` work on a fresh Debian 12 machine: each installs what is
# missing, configures, builds and then runs the program or the whole test suite.

BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?=

.PHONY: all deps configure build test run bench clean screenshots asan-test fuzz install deb

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Everything but the benchmarks (label perf); an empty selection is an error, never a silent pass.
test: build
	cd $(BUILD_DIR) && ctest --no-tests=error --output-on-failure -LE perf -j $(JOBS) $(CTEST_ARGS)

# Opens the window on the demo clip, or runs the same job headless when there is no display.
run: build
	@scripts/run-demo $(BUILD_DIR)

# Installs into PREFIX (default /usr/local) under DESTDIR, as packagers stage it. A per-user installation may
# record its user's interface language at the same time, as an installer does:
#   make install PREFIX=~/.local LUMORA_LANGUAGE=Francais
# (never while staging: DESTDIR means the files are not yet where they will run).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"
	@if [ -n "$(LUMORA_LANGUAGE)" ] && [ -z "$(DESTDIR)" ]; then \
	  "$(PREFIX)/bin/lumora" -ii "$(LUMORA_LANGUAGE)" && echo "install: interface language $(LUMORA_LANGUAGE) recorded"; \
	fi

# A Debian package of the build, in $(BUILD_DIR)/package/.
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

bench: build
	@scripts/run-benchmarks $(BUILD_DIR)

# Pictures of the main window and its dialogs, in English and French, drawn off screen into
# $(BUILD_DIR)/screenshots/. SCREENSHOT_MEDIA names every generated medium the pictures open.
SCREENSHOT_MEDIA := scene_1080p.mp4 burst_jpg8 motion
screenshots: configure
	cmake --build $(BUILD_DIR) --target lumora_screenshots lumora-testmedia -j $(JOBS)
	for medium in $(SCREENSHOT_MEDIA); do \
	  $(BUILD_DIR)/bin/lumora-testmedia $(BUILD_DIR)/testmedia --only $$medium || exit 1; \
	done
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/lumora_screenshots $(BUILD_DIR)/screenshots

# The unit tests built with AddressSanitizer and UndefinedBehaviorSanitizer (gcc) in their own tree. Any report
# fails the run: UB is not recovered from, and leaks fail the test process. Leaks that live entirely inside
# third-party libraries are listed, with the reason, in scripts/lsan.supp. Test discovery runs every program
# once to list its tests while building; leaks are not looked for then (the widget tests, which asan-test does
# not run, keep Qt's offscreen screen alive to the end).
ASAN_BUILD_DIR ?= build-asan
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
SANITIZER_ENV := ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:abort_on_error=0:halt_on_error=1" \
	UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
	LSAN_OPTIONS="suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0"

asan-test: deps
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DLUMORA_BUILD_BENCH=OFF
	$(SANITIZER_ENV) ASAN_OPTIONS="detect_leaks=0" cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && $(SANITIZER_ENV) ctest -L unit --no-tests=error --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The libFuzzer harnesses (clang, ASan, UBSan) in build-fuzz: each runs SECONDS seconds (default 60) on its
# corpus in build-fuzz/corpus/<name>; findings land in build-fuzz/findings/<name> and fail the target.
SECONDS ?= 60
fuzz: deps
	@scripts/run-fuzz $(SECONDS)

clean:
	rm -rf $(BUILD_DIR)
