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
# make build MV_CHROME_EXTENSION_ID=... MV_EDGE_EXTENSION_ID=... [MV_FIREFOX_ADDON_ID=...]:
# the ids the stores gave the published extension, which the host lets in
# (cmake/HostIdentity.cmake; kept in the build until changed likewise).
STORE_IDS := MV_CHROME_EXTENSION_ID MV_EDGE_EXTENSION_ID MV_FIREFOX_ADDON_ID
CMAKE_SETTINGS := $(if $(MV_EXTENSION_SITES),"-DMV_EXTENSION_SITES=$(MV_EXTENSION_SITES)") \
                  $(foreach id,$(STORE_IDS),$(if $($(id)),"-D$(id)=$($(id))"))
# The product's version lives in cmake/Version.cmake; MV_VERSION=x.y.z
# overrides it for one run, and a run without it goes back to that default.
MV_VERSION ?=
VERSION_FLAG = $(if $(MV_VERSION),-DMV_VERSION=$(MV_VERSION),-UMV_VERSION)

.PHONY: all deps configure build test demo bench package clean

# What a person reads: no "Entering directory" lines, and builds whose
# progress goes to $(BUILD)/build.log while warnings and errors (the
# compiler's stderr) still show.
MAKEFLAGS += --no-print-directory
QUIET = >>$(BUILD)/build.log

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	@mkdir -p $(BUILD) && echo "configure: $(BUILD) (32-bit)"
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(QUIET)

configure: deps $(BUILD)/CMakeCache.txt

# Both bitnesses are built: the 32-bit control and host in $(BUILD), the
# 64-bit ones (MivoDetector64.dll, MivoBridge64.exe) in $(BUILD)/x64. The demo
# runs the 64-bit build where the kernel runs no 32-bit code (tools/wine-arch.sh
# decides; tools/wine-env.sh follows); each tree's tests run their own build.
$(BUILD)/x64/CMakeCache.txt: | deps
	@mkdir -p $(BUILD)/x64 && echo "configure: $(BUILD)/x64 (64-bit)"
	@cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release $(QUIET)

configure: $(BUILD)/x64/CMakeCache.txt

build: configure
	@cmake -S . -B $(BUILD) $(VERSION_FLAG) $(CMAKE_SETTINGS) $(QUIET)
	@cmake -S . -B $(BUILD)/x64 $(VERSION_FLAG) $(CMAKE_SETTINGS) $(QUIET)
	@echo "build: $(BUILD) (32-bit), $(BUILD)/x64 (64-bit); progress in $(BUILD)/build.log"
	@cmake --build $(BUILD) -j $(JOBS) $(QUIET) || { echo "build: $(BUILD) failed, see $(BUILD)/build.log"; exit 1; }
	@cmake --build $(BUILD)/x64 -j $(JOBS) $(QUIET) || { echo "build: $(BUILD)/x64 failed, see $(BUILD)/build.log"; exit 1; }

# Both trees' suites (tools/run-tests.sh); make test CTEST_ARGS="-R e2e_"
# hands CTest a selection.
test: build
	@bash tools/run-tests.sh $(BUILD) $(CTEST_ARGS)

demo: package
	@DEMO_CLIENT=$(DEMO_CLIENT) bash tools/demo.sh

package: build
	@bash tools/package/make-package.sh $(BUILD) "$$(sed -n 's/^MV_VERSION:STRING=//p' $(BUILD)/CMakeCache.txt)"

bench: build
	bash tools/bench.sh $(BENCH)

clean:
	-bash tools/prefix.sh down >/dev/null 2>&1
	rm -rf $(BUILD)
