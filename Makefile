# Thin driver over CMake. `make run` and `make test` are the whole set-up on Debian/Ubuntu.
BUILD   ?= build
CMAKE_FLAGS ?=
JOBS    ?= $(shell nproc)
FUZZ_SECONDS ?= 600
GEN     := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

# What `make run` starts: the viewer, the editor it hands lines to, and the command-line tool.
PROGRAMS := ini-file-parser notepad ini-outline

.PHONY: all deps configure build programs run test sanitize bench fuzz clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

run: programs
	scripts/run-viewer $(BUILD)

# The whole suite twice: the normal build, then one under AddressSanitizer and UBSan. Tests
# build with warnings as errors; a plain `make` or `make run` does not.
test: configure
	cmake -S . -B $(BUILD) -DINI_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory sanitize

sanitize: configure
	cmake -S . -B $(BUILD)-asan $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINI_SANITIZE=ON -DINI_BUILD_BENCH=OFF -DINI_WERROR=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1 \
	ctest --test-dir $(BUILD)-asan --output-on-failure -j $(JOBS)

fuzz:
	@scripts/install-deps fuzz
	cmake -S fuzz -B $(BUILD)-fuzz $(GEN) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	scripts/run-fuzzers $(BUILD)-fuzz $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BUILD)-release $(GEN) -DCMAKE_BUILD_TYPE=Release -DINI_BUILD_TESTS=OFF
	cmake --build $(BUILD)-release -j $(JOBS)
	scripts/run-benchmarks $(BUILD)-release

clean:
	rm -rf $(BUILD) $(BUILD)-*

# The Debian package, written to $(BUILD)/. dpkg-shlibdeps (dpkg-dev) and file work out the
# library packages it depends on; they are installed here when missing.
.PHONY: package
package: build
	@command -v dpkg-shlibdeps >/dev/null && command -v file >/dev/null || { \
		sudo=$$([ "$$(id -u)" -eq 0 ] || echo sudo); \
		$$sudo apt-get update -qq && $$sudo env DEBIAN_FRONTEND=noninteractive \
			apt-get install -y -qq --no-install-recommends dpkg-dev file; }
	cd $(BUILD) && cpack -G DEB
