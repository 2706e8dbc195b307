# The project's commands. `make run` starts the program, `make test` runs the whole
# test suite; both install missing Debian packages first (scripts/install-deps).
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: deps configure build test run sanitize bench screenshots clean

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

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target bench_all
	bench/run $(BUILD) $(BENCH_ARGS)

screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target morvane
	QT_QPA_PLATFORM=offscreen $(BUILD)/morvane --screenshots $(BUILD)/screenshots

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
