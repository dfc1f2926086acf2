# Thin wrapper over CMake. `make run` builds and starts the server on its embedded default;
# `make test` builds and runs the whole test suite. Both install missing Debian packages first.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
# 0: a new random seed each run; CI fixes one so that its run can be repeated exactly.
FUZZ_SEED ?= 0
PACKAGE_BUILD ?= build-package
COVERAGE_BUILD ?= build-coverage
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test test-asan fuzz bench mutate coverage package check-package clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)

test: build
	@scripts/install-deps.sh --browser || echo "make: without chromium the kitchen-screen test is skipped"
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DPLIKO_SANITIZE=ON -DPLIKO_BUILD_BENCH=OFF \
	  -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@scripts/install-deps.sh --browser || echo "make: without chromium the kitchen-screen test is skipped"
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS, starting from its seeds
# (fuzz/corpus/<target>, left unchanged); an input that fails is saved in $(FUZZ_BUILD)/findings/ and
# the run ends with an error after the last target.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DPLIKO_FUZZ=ON -DPLIKO_BUILD_TESTS=OFF -DPLIKO_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@FUZZ_SEED=$(FUZZ_SEED) scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@scripts/run-bench.sh $(BUILD)

# Line coverage of src/ and tools/ by the whole suite (gcc --coverage, its own build folder): a summary on
# the terminal, $(COVERAGE_BUILD)/coverage.txt per file and coverage.html; tests that fail are listed after
# the figures (they count without their missing lines). Not in CI (slow).
coverage: deps
	@scripts/install-deps.sh --coverage
	@cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DPLIKO_COVERAGE=ON -DPLIKO_BUILD_BENCH=OFF \
	  -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@scripts/install-deps.sh --browser || echo "make: without chromium the kitchen-screen test is skipped"
	@find $(COVERAGE_BUILD) -name '*.gcda' -delete
	@(cd $(COVERAGE_BUILD) && ctest -j $(JOBS) --timeout 900 >ctest.log); failed=$$?; \
	  gcovr -r . --object-directory $(COVERAGE_BUILD) --filter 'src/' --filter 'tools/' \
	    --exclude-unreachable-branches --gcov-ignore-parse-errors --print-summary --html $(COVERAGE_BUILD)/coverage.html \
	    --txt $(COVERAGE_BUILD)/coverage.txt -j $(JOBS) | tail -n 3; \
	  if [ $$failed -ne 0 ]; then sed -n '/tests FAILED/,$$p' $(COVERAGE_BUILD)/ctest.log; exit 1; fi

# Every mutant of tests/mutants.txt must make a test of its area fail (long: not in CI). The copy of the
# committed HEAD and its build stay in MUTATE_WORK between runs; MUTANTS=regex picks some of them.
MUTATE_WORK ?=
MUTANTS ?=
mutate: deps
	@scripts/mutate.py $(if $(MUTATE_WORK),--work $(MUTATE_WORK)) $(if $(MUTANTS),--only '$(MUTANTS)') --jobs $(JOBS)

# The Debian package (installs under /usr, the service's configuration in /etc/plikoserver).
package: deps
	@scripts/install-deps.sh --package
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DPLIKO_BUILD_TESTS=OFF \
	  -DPLIKO_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target package
	@ls $(PACKAGE_BUILD)/*.deb

# lintian, and install, upgrade, remove and purge of the package in a throw-away root (as root).
check-package: package
	@packaging/check-package.sh $(PACKAGE_BUILD)/plikoserver_*.deb

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(COVERAGE_BUILD)
