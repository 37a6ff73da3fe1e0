# Thin driver over CMake. `make run` and `make test` are the whole set-up on Debian/Ubuntu.
BUILD   ?= build
CMAKE_FLAGS ?=
JOBS    ?= $(shell nproc)
GEN     := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	scripts/run-viewer $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-release $(GEN) -DCMAKE_BUILD_TYPE=Release -DINI_BUILD_TESTS=OFF
	cmake --build $(BUILD)-release -j $(JOBS)
	scripts/run-benchmarks $(BUILD)-release

clean:
	rm -rf $(BUILD) $(BUILD)-*
