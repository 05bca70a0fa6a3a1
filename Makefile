# The two commands a fresh Debian machine needs: `make run` and `make test`.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
BENCH_DIR ?= build-bench
FUZZ_DIR  ?= build-fuzz
PACKAGE_DIR ?= build-package
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
SOAK_SECONDS ?= 60
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build run test stress asan fuzz soak bench screenshots package package-check format-check clean

deps:
	@scripts/install-deps

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	scripts/run-panel $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The suite ten times over while two busy loops load both cores.
stress: build
	scripts/stress-test $(BUILD_DIR) 10

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, with
# leak detection; tests/lsan.supp names the toolkit's own lifetime allocations.
asan: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTAVO_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS)

# Each fuzz target (or those in FUZZ_TARGETS) for FUZZ_SECONDS under libFuzzer,
# built with clang in its own directory; findings land in $(FUZZ_DIR)/fuzz-findings/.
fuzz:
	@scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DTAVO_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target tavo_fuzzers
	scripts/run-fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The exchange against the virtual projector for SOAK_SECONDS at many times a
# technician's pace: a memory curve and a verdict.
soak: build
	$(BUILD_DIR)/tests/soak/tavo-soak --seconds $(SOAK_SECONDS)

# Every figure in one table, also written to build-bench/bench/latest.md;
# installs what only the benchmarks need (CuteCom, the X test headers) first.
# The benchmarks have their own build folder, so build/ never needs them.
bench:
	@scripts/install-deps bench
	cmake -S . -B $(BENCH_DIR) $(CMAKE_FLAGS) -DTAVO_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	cd $(BENCH_DIR) && cpack -G DEB > /dev/null
	$(BENCH_DIR)/bench/tavo-bench --build $(BENCH_DIR) --out $(BENCH_DIR)/bench

# The window at its four heights, rendered offscreen to build/screenshots/.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tools/screenshots/tavo-screenshots $(BUILD_DIR)/screenshots

# The Debian packages tavo-control (the window) and tavo-tools (tavo-ctl,
# tavo-pjlink and its unit, the virtual projector) in $(PACKAGE_DIR)/, built
# with Debian's hardening flags and without the tests (cpack builds nothing
# more than tavo-package-files, with the install not depending on all).
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package:
	@scripts/install-deps package
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=None -DTAVO_PACKAGE=ON \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_DIR) -j $(JOBS) --target tavo-package-files
	cd $(PACKAGE_DIR) && cpack -G DEB

# The packages judged as a Debian maintainer would: lintian, the desktop
# entry, the AppStream metadata and the service unit.
package-check: package
	scripts/package-check $(PACKAGE_DIR)

# Every C++ file as the checked-in .clang-format lays it out.
format-check:
	@scripts/install-deps format
	scripts/format-check

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(BENCH_DIR) $(PACKAGE_DIR)
