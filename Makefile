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

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 900

demo: build
	DEMO_CLIENT=$(DEMO_CLIENT) bash tools/demo.sh

bench: build
	bash tools/bench.sh $(BENCH)

clean:
	-bash tools/prefix.sh down >/dev/null 2>&1
	rm -rf $(BUILD)
