# Lumora's entry points. `make run` and `make test` work on a fresh Debian 12 machine: each installs what is
# missing, configures, builds and then runs the program or the whole test suite.

BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?=

.PHONY: all deps configure build test run bench clean

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

clean:
	rm -rf $(BUILD_DIR)
