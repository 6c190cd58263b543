# Lumora's entry points. `make run` and `make test` work on a fresh Debian 12 machine: each installs what is
# missing, configures, builds and then runs the program or the whole test suite.

BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?=

.PHONY: all deps configure build test run bench clean screenshots

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

bench: build
	@scripts/run-benchmarks $(BUILD_DIR)

# Pictures of the main window and its dialogs, in English and French, drawn off screen into
# $(BUILD_DIR)/screenshots/ (needs the generated scene clip).
screenshots: configure
	cmake --build $(BUILD_DIR) --target lumora_screenshots lumora-testmedia -j $(JOBS)
	$(BUILD_DIR)/bin/lumora-testmedia $(BUILD_DIR)/testmedia --only scene_1080p.mp4
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/lumora_screenshots $(BUILD_DIR)/screenshots

clean:
	rm -rf $(BUILD_DIR)
