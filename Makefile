# make build: install what is missing, configure, build.
# make test:  the same, then every test under Wine in a throwaway prefix.
# make demo:  the same, then the walk-through of the control in a sandbox.
BUILD := build
CMAKE_FLAGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
JOBS ?= $(shell nproc)
# make demo DEMO_CLIENT=none: the walk-through without a client installation.
DEMO_CLIENT ?= full

.PHONY: all deps configure build test demo bench clean

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

# Where the kernel runs no 32-bit code, Wine cannot start the 32-bit control:
# the tests and the demo then use a 64-bit build of the same sources in
# $(BUILD)/x64 (tools/wine-arch.sh decides; tools/wine-env.sh follows).
TEST_BUILD = $$(if [ "$$(tools/wine-arch.sh)" = win64 ]; then echo $(BUILD)/x64; else echo $(BUILD); fi)

# The 64-bit build is always made: the 32-bit smoke compares the two.
build: configure
	cmake --build $(BUILD) -j $(JOBS)
	@if [ "$$(tools/wine-arch.sh)" = win64 ]; then \
	    echo "This machine runs no 32-bit code: tests use a 64-bit build in $(BUILD)/x64"; \
	fi
	@[ -f $(BUILD)/x64/CMakeCache.txt ] || cmake -S . -B $(BUILD)/x64 \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/x64 -j $(JOBS)

# CTest shows no output for a test it counts as not run: say here why the
# 32-bit smoke will not run (with CI=true it fails instead).
test: build
	@reason="$$(tools/run32.sh --check)" || echo "smoke32: NOT RUN, 32-bit programs cannot run here: $$reason"
	cd $(TEST_BUILD) && ctest --output-on-failure --timeout 900

demo: build
	DEMO_CLIENT=$(DEMO_CLIENT) bash tools/demo.sh

bench: build
	bash tools/bench.sh $(BENCH)

clean:
	-bash tools/prefix.sh down >/dev/null 2>&1
	rm -rf $(BUILD)
