# The two quick-start commands are `make run` and `make test`; everything else builds on them.
BUILD      ?= build
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: setup configure build run test sanitize fuzz bench demo format format-check install clean

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DELEVARA_WERROR=ON $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-window.sh $(BUILD)/app/elevara

test: build
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize: setup
	@cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DELEVARA_WERROR=ON \
	  -DELEVARA_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

FUZZ_SECONDS ?= 60
fuzz: setup
	@scripts/fuzz.sh $(FUZZ_SECONDS)

bench: build
	@scripts/bench.sh $(BUILD)

demo: build
	@scripts/demo.sh $(BUILD)

install: build
	@cmake --install $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf build build-*
