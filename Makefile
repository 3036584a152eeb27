# The README's two commands: `make run` and `make test`. Both install what they need first.
# `make install` (PREFIX, DESTDIR) and `make package` (the Debian package) are for admins.
BUILD_DIR ?= build
TEST_BUILD_DIR ?= build-asan
BENCH_BUILD_DIR ?= build-bench
PACKAGE_BUILD_DIR ?= build-package
PREFIX ?= /usr/local
DESTDIR ?=
JOBS ?= $(shell nproc)
RUN_ROOT ?= $(CURDIR)/.run
LISTEN ?= 127.0.0.1:8080
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3
FUZZ_TARGETS := $(patsubst fuzz/%/harness.cc,%,$(wildcard fuzz/*/harness.cc))
# Debian's clang-16 comes without llvm-symbolizer; binutils' addr2line names the frames instead.
FUZZ_ENV := ASAN_SYMBOLIZER_PATH=/usr/bin/addr2line

.PHONY: setup setup-test configure build run install package test bench clean format fuzz \
	fuzz-build fuzz-smoke format-check

setup:
	bash scripts/install-deps.sh

# The tests also need the browser tests' driver from npm; nothing else does.
setup-test:
	bash scripts/install-deps.sh --e2e

configure: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Sets up a demo platform in .run (once) and serves the administration pages on it; its started
# web site is served by brindlecore's own nginx under .run/nginx. Builds only the command and the
# libraries it loads.
run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target brindlecore
	mkdir -p -m 0700 $(RUN_ROOT)
	grep -qs '^web.server' $(RUN_ROOT)/platform.conf || echo 'web.server = nginx' >> $(RUN_ROOT)/platform.conf
	$(BUILD_DIR)/brindlecore --root $(RUN_ROOT) init --demo
	$(BUILD_DIR)/brindlecore --root $(RUN_ROOT) serve --listen $(LISTEN)

# The command in PREFIX/bin, its libraries in PREFIX/lib/brindlecore, the systemd unit and the
# manual pages; DESTDIR stages the tree elsewhere (packaging).
install: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target brindlecore brindlecore_man
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# brindlecore_<version>_amd64.deb here, its dependencies read from the binaries.
package: setup
	cmake -S . -B $(PACKAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLECORE_TESTS=OFF \
		-DBRINDLECORE_BENCH=OFF
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS)
	rm -f $(PACKAGE_BUILD_DIR)/brindlecore_*.deb
	cd $(PACKAGE_BUILD_DIR) && cpack -G DEB
	cp $(PACKAGE_BUILD_DIR)/brindlecore_*_amd64.deb .

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test: setup-test
	cmake -S . -B $(TEST_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DBRINDLECORE_SANITIZE=ON -DBRINDLECORE_BENCH=OFF
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	cd $(TEST_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-smoke

# Every benchmark of bench/ in a Release build, each against its floor in the same run. They start
# their own services (slapd) and need nothing set up beforehand.
bench: setup
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DBRINDLECORE_BENCH=ON
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target benches
	@for b in $(BENCH_BUILD_DIR)/bench_*; do echo "== $$b"; \
	  BRINDLECORE_SOURCE_DIR=$(CURDIR) $$b --benchmark_min_time=0.2 || exit 1; done

# The libFuzzer harnesses, built by clang in a folder of their own (the GCC builds never see it).
fuzz-build:
	cmake -S fuzz -B $(FUZZ_BUILD_DIR) -DCMAKE_CXX_COMPILER=clang++-16 >/dev/null
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)

# Each harness for FUZZ_SECONDS from its seeds. New inputs go to $(FUZZ_BUILD_DIR)/corpus, a
# failing one to $(FUZZ_BUILD_DIR)/crashes: once fixed, add it to fuzz/<target>/corpus so the
# short run of `make test` replays it for good.
fuzz: setup fuzz-build
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD_DIR)/corpus/$$t $(FUZZ_BUILD_DIR)/crashes; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_ENV) $(FUZZ_BUILD_DIR)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -artifact_prefix=$(FUZZ_BUILD_DIR)/crashes/$$t- $(FUZZ_BUILD_DIR)/corpus/$$t fuzz/$$t/corpus; \
	done

# Part of `make test`: every seed replayed, then a few seconds of fuzzing each.
fuzz-smoke: fuzz-build
	@passed=0; failed=0; for t in $(FUZZ_TARGETS); do \
	  dir=$(FUZZ_BUILD_DIR)/smoke/$$t; rm -rf $$dir; mkdir -p $$dir; \
	  if $(FUZZ_ENV) $(FUZZ_BUILD_DIR)/fuzz_$$t -max_total_time=$(FUZZ_SMOKE_SECONDS) -timeout=10 \
	      -rss_limit_mb=2048 -artifact_prefix=$$dir/ $$dir fuzz/$$t/corpus >$$dir.log 2>&1; then \
	    passed=$$((passed + 1)); echo "fuzz $$t: passed"; \
	  else \
	    failed=$$((failed + 1)); echo "fuzz $$t: FAILED"; tail -n 40 $$dir.log; \
	  fi; \
	done; \
	echo "fuzz: $$passed passed, $$failed failed"; test $$failed -eq 0

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

# Part of CI: fails, naming each place, where a C++ file differs from `make format`'s layout.
format-check: setup
	clang-format --dry-run -Werror $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR) $(FUZZ_BUILD_DIR) $(PACKAGE_BUILD_DIR)
