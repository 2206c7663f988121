# Front door. Everything real lives in CMake; these targets set up and call it.
JOBS ?= 2
FUZZ_SECONDS ?= 60
IDLE_SECONDS ?= 60
CMAKE_FLAGS ?=

.PHONY: all deps build run test bench sanitize fuzz install format clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@scripts/run.sh build/bin/Orlet

test: build
	@ctest --test-dir build -j $(JOBS) --output-on-failure

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORLET_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir build-asan -j $(JOBS) --output-on-failure

# Each libFuzzer target for FUZZ_SECONDS, starting from the seeds in fuzz/corpus.
fuzz: deps
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DORLET_FUZZ=ON -DORLET_TESTS=OFF -DORLET_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
		-DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target DecodeFuzzer AgentHookFuzzer TextFuzzer ActivityFuzzer
	@scripts/fuzz.sh $(FUZZ_SECONDS)

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLET_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@build-bench/bin/ProtocolBench
	@build-bench/bin/HelperStartupBench 100
	@build-bench/bin/DispatchPointerBench
	@build-bench/bin/ActivityServerBench
	@build-bench/bin/ActivityCenterBench
	@build-bench/bin/LyricsBench
	@build-bench/bin/HUDIdleBench 60
	@build-bench/bin/WeatherDecodeBench
	@build-bench/bin/SystemSnapshotBench
	@build-bench/bin/SystemMonitorLoad 60 20
	@build-bench/bin/ArtworkTintBench
	@build-bench/bin/CalendarExpandBench
	@bench/idle.sh build-bench $(IDLE_SECONDS)
	@bench/awake-clipboard-idle.sh build-bench $(IDLE_SECONDS)
	@bench/media_helper_idle.sh build-bench $(IDLE_SECONDS)

PREFIX ?= /usr/local
install: build
	@cmake --install build --prefix $(PREFIX)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-fuzz build-bench
