# The project's commands. `make run` starts the program, `make test` runs the whole
# test suite; both install missing Debian packages first (scripts/install-deps).
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_RUNS  ?= 100000
JOBS       ?= 2
CMAKE_ARGS ?=
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: deps configure build test run sanitize tsan fuzz-smoke format-check format bench screenshots clean

deps:
	@scripts/install-deps

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS); fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target morvane
	$(BUILD)/morvane $(ARGS)

# The whole suite under AddressSanitizer (leaks included) and UBSan. Leaks the
# system libraries keep for the life of the process are suppressed in
# tests/lsan.supp; ours never are. intercept_tls_get_addr=0: this toolchain's
# leak checker records a bogus dynamic-TLS block for a plug-in Qt loads and
# crashes scanning it at exit; static TLS and every stack are still scanned.
sanitize: deps
	@if [ ! -f $(SAN_BUILD)/build.ninja ]; then \
	  cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON \
	    -DMORVANE_BUILD_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 \
	  LSAN_OPTIONS="suppressions=$(CURDIR)/tests/lsan.supp print_suppressions=0" \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) --timeout 1200

# The threaded units (the search's tag readers, the compile thread) under ThreadSanitizer.
tsan: deps
	@if [ ! -f $(TSAN_BUILD)/build.ninja ]; then \
	  cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE_THREAD=ON \
	    -DMORVANE_BUILD_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_engine test_compilethread
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/tests/test_engine
	QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 \
	  report_mutex_bugs=0 suppressions=$(CURDIR)/tests/tsan.supp" $(TSAN_BUILD)/tests/test_compilethread

# Each libFuzzer target (fuzz/NAME.cpp) for a fixed number of runs from its
# seeds in fuzz/corpus/NAME; new inputs go to a scratch folder, never into the
# checked-in seeds. A crash, leak or time-out fails the target and leaves the
# input that did it in $(FUZZ_BUILD)/NAME-crash-* (or -leak-, -timeout-).
fuzz-smoke: deps
	@if [ ! -f $(FUZZ_BUILD)/build.ninja ]; then \
	  cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_ARGS); fi
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for src in fuzz/*.cpp; do \
	  name=$$(basename $$src .cpp); scratch=$(FUZZ_BUILD)/found-$$name; \
	  seeds=$$(find fuzz/corpus -maxdepth 1 -name $$name); \
	  rm -rf $$scratch; mkdir -p $$scratch; \
	  echo "fuzz-smoke: $$name, $(FUZZ_RUNS) runs"; \
	  $(FUZZ_BUILD)/fuzz_$$name -runs=$(FUZZ_RUNS) -seed=1 -max_total_time=60 -timeout=25 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/$$name- $$scratch $$seeds \
	    2>$(FUZZ_BUILD)/$$name.log \
	    || { tail -n 60 $(FUZZ_BUILD)/$$name.log; exit 1; }; \
	  grep -E '^(stat::number_of_executed_units|Done)' $(FUZZ_BUILD)/$$name.log; \
	done

# Our sources against .clang-format: format-check lists each place that would
# change, format rewrites them.
FORMAT_SOURCES = $(shell find src tests bench fuzz tools \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
format-check:
	@echo "format-check: $(words $(FORMAT_SOURCES)) files"
	@clang-format --dry-run -Werror $(FORMAT_SOURCES)

format:
	clang-format -i $(FORMAT_SOURCES)

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target bench_all
	bench/run $(BUILD) $(BENCH_ARGS)

screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target morvane
	QT_QPA_PLATFORM=offscreen $(BUILD)/morvane --screenshots $(BUILD)/screenshots

# Installs under $(PREFIX) (/usr/local unless given); DESTDIR stages it elsewhere.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
