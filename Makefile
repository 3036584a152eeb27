# The README's two commands: `make run` and `make test`. Both install what they need first.
BUILD_DIR ?= build
TEST_BUILD_DIR ?= build-asan
BENCH_BUILD_DIR ?= build-bench
JOBS ?= $(shell nproc)
RUN_ROOT ?= $(CURDIR)/.run
LISTEN ?= 127.0.0.1:8080

.PHONY: setup build run test bench clean format

setup:
	bash scripts/install-deps.sh

build: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Sets up a demo platform in .run (once) and serves the administration pages on it; its started
# web site is served by brindlecore's own nginx under .run/nginx.
run: build
	mkdir -p -m 0700 $(RUN_ROOT)
	grep -qs '^web.server' $(RUN_ROOT)/platform.conf || echo 'web.server = nginx' >> $(RUN_ROOT)/platform.conf
	$(BUILD_DIR)/brindlecore --root $(RUN_ROOT) init --demo
	$(BUILD_DIR)/brindlecore --root $(RUN_ROOT) serve --listen $(LISTEN)

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test: setup
	cmake -S . -B $(TEST_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DBRINDLECORE_SANITIZE=ON -DBRINDLECORE_BENCH=OFF
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	cd $(TEST_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# Every benchmark of bench/ in a Release build, each against its floor in the same run. They start
# their own services (slapd) and need nothing set up beforehand.
bench: setup
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DBRINDLECORE_BENCH=ON
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target benches
	@for b in $(BENCH_BUILD_DIR)/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR)
