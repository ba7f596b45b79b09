# make build: install what is missing, configure, build.
# make test:  the same, then every test under Wine in a throwaway prefix.
# make demo:  the same, then the walk-through of the control in a sandbox.
# make package: the same, then the signed installer packages
#             (make package MV_VERSION=x.y.z for another version; signing
#             with MV_SIGN_PKCS12, MV_SIGN_PASSWORD, MV_SIGN_TIMESTAMP_URL).
BUILD := build
CMAKE_FLAGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
JOBS ?= $(shell nproc)
# make demo DEMO_CLIENT=none: the walk-through without a client installation.
DEMO_CLIENT ?= full
# make build MV_EXTENSION_SITES="https://*.example.com,https://example.org":
# the sites the browser extension serves (kept in the build until changed).
CMAKE_SETTINGS := $(if $(MV_EXTENSION_SITES),"-DMV_EXTENSION_SITES=$(MV_EXTENSION_SITES)")
# The product's version lives in cmake/Version.cmake; MV_VERSION=x.y.z
# overrides it for one run, and a run without it goes back to that default.
MV_VERSION ?=
VERSION_FLAG = $(if $(MV_VERSION),-DMV_VERSION=$(MV_VERSION),-UMV_VERSION)

.PHONY: all deps configure build test demo bench package clean

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

# Both bitnesses are built: the 32-bit control and host in $(BUILD), the
# 64-bit ones (MivoDetector64.dll, MivoBridge64.exe) in $(BUILD)/x64. The tests
# and the demo run the 64-bit build where the kernel runs no 32-bit code
# (tools/wine-arch.sh decides; tools/wine-env.sh follows).
TEST_BUILD = $$(if [ "$$(tools/wine-arch.sh)" = win64 ]; then echo $(BUILD)/x64; else echo $(BUILD); fi)

$(BUILD)/x64/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD)/x64/CMakeCache.txt

build: configure
	cmake -S . -B $(BUILD) $(VERSION_FLAG) $(CMAKE_SETTINGS) >/dev/null
	cmake -S . -B $(BUILD)/x64 $(VERSION_FLAG) $(CMAKE_SETTINGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	@if [ "$$(tools/wine-arch.sh)" = win64 ]; then \
	    echo "This machine runs no 32-bit code: tests use the 64-bit build in $(BUILD)/x64"; \
	fi
	cmake --build $(BUILD)/x64 -j $(JOBS)

# CTest shows no output for a test it counts as not run: say here why the
# 32-bit smoke will not run (with CI=true it fails instead).
test: build
	@reason="$$(tools/run32.sh --check)" || echo "smoke32: NOT RUN, 32-bit programs cannot run here: $$reason"
	cd $(TEST_BUILD) && ctest --output-on-failure --timeout 900

demo: package
	DEMO_CLIENT=$(DEMO_CLIENT) bash tools/demo.sh

package: build
	bash tools/package/make-package.sh $(BUILD) "$$(sed -n 's/^MV_VERSION:STRING=//p' $(BUILD)/CMakeCache.txt)"

bench: build
	bash tools/bench.sh $(BENCH)

clean:
	-bash tools/prefix.sh down >/dev/null 2>&1
	rm -rf $(BUILD)
