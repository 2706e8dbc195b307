# The project's commands. `make run` starts the program, `make test` runs the whole
# test suite; both install missing Debian packages first (scripts/install-deps).
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS       ?= 2
CMAKE_ARGS ?=
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: deps configure build test run sanitize tsan bench screenshots clean

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

sanitize: deps
	@if [ ! -f $(SAN_BUILD)/build.ninja ]; then \
	  cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_BUILD_BENCH=OFF; fi
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
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
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD)
