# The two quick-start commands are `make run` and `make test`; everything else builds on them.
BUILD      ?= build
JOBS       ?= 2
CMAKE_ARGS ?=
PREFIX     ?= /usr/local

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DELEVARA_WERROR=ON
# What a target builds, all three parts named, so that no part one target left on in the build
# folder's cache asks another target for packages it did not install.
ONLY_CLI    = -DELEVARA_BUILD_APP=OFF -DELEVARA_BUILD_TESTS=OFF -DELEVARA_BUILD_BENCH=OFF
WITH_WINDOW = -DELEVARA_BUILD_APP=ON -DELEVARA_BUILD_TESTS=OFF -DELEVARA_BUILD_BENCH=OFF
WITH_TESTS  = -DELEVARA_BUILD_APP=ON -DELEVARA_BUILD_TESTS=ON -DELEVARA_BUILD_BENCH=OFF
WITH_BENCH  = -DELEVARA_BUILD_APP=ON -DELEVARA_BUILD_TESTS=OFF -DELEVARA_BUILD_BENCH=ON

.PHONY: run test sanitize fuzz bench demo format format-check install clean windows \
        windows-package

run:
	@scripts/setup.sh window
	@$(CONFIGURE) $(WITH_WINDOW) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target elevara
	@scripts/run-window.sh $(BUILD)/app/elevara

test:
	@scripts/setup.sh test
	@$(CONFIGURE) $(WITH_TESTS) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize:
	@scripts/setup.sh test
	@cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DELEVARA_WERROR=ON \
	  -DELEVARA_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)
	@# The tests where workers run side by side, again under ThreadSanitizer.
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DELEVARA_WERROR=ON \
	  -DELEVARA_SANITIZE_THREAD=ON -DELEVARA_BUILD_APP=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target gml_tests parallel_jobs_tests
	@TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  build-tsan/tests/platform/parallel_jobs_tests --gtest_brief=1
	@TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  build-tsan/tests/gml/gml_tests --gtest_brief=1 \
	  --gtest_filter='ParallelConversion.*:GmlRun.*:FaultyRun.*:GmlZipRun.Members*'

# The core, elevara-cli.exe, the window elevara.exe and their tests cross-built for 64-bit Windows
# with MinGW-w64 and run under Wine (the window's on Qt's offscreen platform); the sample tiles
# converted there must match the Linux build's outputs. Qt for Windows is built from Debian's
# source once per machine (scripts/windows-qt.sh: some 17 minutes the first time). The soak test's
# 3000 tiles take over a minute under Wine and reach no Windows code that the other tests leave
# out, so it runs only when asked for: make windows WINDOWS_CTEST_ARGS=
WINDOWS_BUILD      ?= build-windows
WINDOWS_CTEST_ARGS ?= -E soak_tests
windows:
	@scripts/setup.sh windows
	@$(CONFIGURE) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target elevara-cli
	@JOBS=$(JOBS) scripts/windows-deps.sh $(WINDOWS_BUILD)/deps
	@JOBS=$(JOBS) scripts/windows-qt.sh $(WINDOWS_BUILD)/deps/qt
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DELEVARA_WERROR=ON -DELEVARA_BUILD_APP=ON \
	  -DELEVARA_WINDOWS_DEPS=$(abspath $(WINDOWS_BUILD))/deps/prefix \
	  -DELEVARA_WINDOWS_QT=$(abspath $(WINDOWS_BUILD))/deps/qt \
	  -DELEVARA_LINUX_CLI=$(abspath $(BUILD))/cli/elevara-cli $(CMAKE_ARGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j $(JOBS) $(WINDOWS_CTEST_ARGS)
	@WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine wineserver -w

# A ZIP for Windows users: elevara.exe with Qt's DLLs and plugins beside it, elevara-cli.exe, the
# README, the licence and the licence texts of what is linked in.
windows-package: windows
	@scripts/windows-package.sh $(WINDOWS_BUILD)

FUZZ_SECONDS ?= 60
fuzz:
	@scripts/setup.sh fuzz
	@scripts/fuzz.sh $(FUZZ_SECONDS)

bench:
	@scripts/setup.sh bench
	@$(CONFIGURE) $(WITH_BENCH) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@scripts/bench.sh $(BUILD)

demo:
	@scripts/setup.sh demo
	@$(CONFIGURE) $(ONLY_CLI) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target elevara-cli
	@scripts/demo.sh $(BUILD)

# The window and the terminal front end, stripped, with the desktop entry, the icon, the README
# and the data credit, under PREFIX.
install:
	@scripts/setup.sh window
	@$(CONFIGURE) $(WITH_WINDOW) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target elevara elevara-cli
	@cmake --install $(BUILD) --prefix $(PREFIX) --strip

format:
	@scripts/setup.sh format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@scripts/setup.sh format
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf build build-*
