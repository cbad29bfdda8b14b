# Ostrevan: top-level commands. Everything builds under build/.
BUILD    := build
NATIVE   := $(BUILD)/native
ASAN     := $(BUILD)/asan
WIN64    := $(BUILD)/win64
WIN32    := $(BUILD)/win32
RELEASE  := $(BUILD)/release
FUZZ     := $(BUILD)/fuzz
FUZZ_SECONDS ?= 60
JOBS     ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps native asan windows win64 win32 fuzz-targets test test-native test-asan test-wine test-fuzz fuzz bench demo \
	gui clean format

all: native

deps:
	@tools/install-deps

$(NATIVE)/build.ninja:
	cmake -S . -B $(NATIVE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
native: $(NATIVE)/build.ninja
	cmake --build $(NATIVE) -j $(JOBS)

$(ASAN)/build.ninja:
	cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DOSTREVAN_SANITIZE=ON
asan: $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

$(WIN64)/build.ninja:
	cmake -S . -B $(WIN64) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
win64: $(WIN64)/build.ninja
	cmake --build $(WIN64) -j $(JOBS)

$(WIN32)/build.ninja:
	cmake -S . -B $(WIN32) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
win32: $(WIN32)/build.ninja
	cmake --build $(WIN32) -j $(JOBS)

windows: win64 win32

# The libFuzzer targets (tests/fuzz): clang, with ASan and UBSan.
$(FUZZ)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREVAN_FUZZ=ON \
		-DOSTREVAN_SANITIZE=ON -DOSTREVAN_BENCH=OFF
fuzz-targets: $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS)

# Native tests, the same tests under the sanitizers, then the Windows build's tests under wine64, then each fuzz
# target on its seeds and for a few seconds more. The 32-bit Windows build is compiled and linked only: this
# machine cannot run 32-bit programs.
test: deps
	$(MAKE) --no-print-directory native asan windows fuzz-targets
	$(MAKE) --no-print-directory test-native test-asan test-wine test-fuzz

test-native:
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
test-asan:
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS)
test-wine:
	tools/wine-run
	OSTREVAN_WINE_TEST=1 ctest --test-dir $(WIN64) --output-on-failure
test-fuzz:
	tests/fuzz/run $(FUZZ) 5

# Each fuzz target for FUZZ_SECONDS, its corpus kept in build/fuzz/corpus between runs.
fuzz: deps fuzz-targets
	nice tests/fuzz/run $(FUZZ) $(FUZZ_SECONDS)

$(RELEASE)/build.ninja:
	cmake -S . -B $(RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release
bench: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)
	tools/run-benchmarks $(RELEASE)

demo: deps native
	tools/demo $(NATIVE)

gui: deps win64
	tools/run-gui $(WIN64)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
