# Front door: `make test` installs what is missing, builds and runs every
# test, then the unit tests again under AddressSanitizer and UBSan.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc)
CMAKE ?= cmake
CTEST ?= ctest
GENERATOR ?= Ninja

.PHONY: all deps build package asan test test-system pcsc-lite-source test-under-load test-unit bench soak fuzz demo clean format format-check tidy windows windows-x86 msi test-windows bench-windows

all: build

deps:
	@scripts/install-deps

build: deps
	$(CMAKE) -S . -B $(BUILD_DIR) -G $(GENERATOR) -DQVX_WERROR=ON
	$(CMAKE) --build $(BUILD_DIR) -j$(JOBS)

# The Debian package for customers' machines, checked by lintian.
package: build
	$(CMAKE) --build $(BUILD_DIR) --target deb
	lintian --fail-on error $(BUILD_DIR)/packaging/quorvex2-connector_*.deb

asan: deps
	$(CMAKE) -S . -B $(ASAN_DIR) -G $(GENERATOR) -DQVX_WERROR=ON -DQVX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	$(CMAKE) --build $(ASAN_DIR) -j$(JOBS)

test: format-check build asan pcsc-lite-source
	$(CTEST) --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS) --timeout 300
	$(CTEST) --test-dir $(ASAN_DIR) -L unit --output-on-failure -j$(JOBS) --timeout 300

# The package on a booted container with a real systemd (packaging/test/system-test):
# install, both lanes, both browsers, restarts, reboot, remove and purge, and a
# pcscd built with polkit. Needs root. It takes about half a minute, so
# `make test` runs it whole too (label system).
# Debian's pcsc-lite source for the pcscd it builds with polkit inside the container.
test-system: package pcsc-lite-source
	$(CTEST) --test-dir $(BUILD_DIR) -L system --output-on-failure --timeout 900

pcsc-lite-source: deps
	scripts/fetch-debian-source pcsc-lite pcscd $(BUILD_DIR)/pcsc-lite-src

# The whole suite once while another process keeps every core busy: a test
# that only passes on an idle machine fails here.
test-under-load: build
	@command -v stress-ng >/dev/null || { echo "test-under-load: stress-ng is missing (make deps)"; exit 1; }
	stress-ng --cpu $(JOBS) --timeout 1800s --quiet & load=$$!; \
	  $(CTEST) --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS) --timeout 300; status=$$?; \
	  kill $$load 2>/dev/null; wait $$load 2>/dev/null; exit $$status

# The tree is formatted by .clang-format: `make format` applies it, and
# `make test` fails on a file that differs from it.
format:
	@scripts/format

format-check: deps
	@scripts/format --check

# The .clang-tidy checks over every source of the build (a few minutes).
tidy: build
	run-clang-tidy -quiet -p $(BUILD_DIR) -j $(JOBS) '^$(CURDIR)/(bench|command|contract|driver|fuzz|platform|plugin|service|simulator|testing)/'

# Unit tests only, without the sanitizer build and without pcscd.
test-unit: build
	$(CTEST) --test-dir $(BUILD_DIR) -L unit --output-on-failure -j$(JOBS)

# The benchmarks in full, one after the other; each prints its figures and
# whether it met its target. `make test` runs only a short pass of each.
bench: build
	$(CMAKE) --build $(BUILD_DIR) --target run-benchmarks

# A long stress run of the device stack: racing requests, cancels, killed
# holders and card pulls, paced and unpaced; `make test` runs 30 s of it.
# SOAK_SECONDS and SOAK_SEED choose the run.
SOAK_SECONDS ?= 600
SOAK_SEED ?= $(shell date +%s)
soak: build
	$(BUILD_DIR)/bench/qvx-stress --seconds $(SOAK_SECONDS) --seed $(SOAK_SEED)

# A long fuzz run of every fuzz target (the request parser, the origin
# rules, the site lock, the driver's device packets and vendor-request
# input checks) built with clang for libFuzzer under ASan and UBSan; prints
# the executions each reached and any finding. `make test` runs a short
# pass of each. FUZZ_SECONDS (per target) and FUZZ_SEED choose the run.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_SEED ?= $(shell date +%s)
fuzz: deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_DIR) -G $(GENERATOR) -DQVX_WERROR=ON -DQVX_FUZZ=ON
	$(CMAKE) --build $(FUZZ_DIR) -j$(JOBS) --target fuzz-targets
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_SEED)

# The Windows x64 build with MinGW-w64, from the same sources: the command
# library, qvxcmd.exe, brixwssvr.exe, BRIXON.dll, brixonhost.exe and their
# tests, and the test relay's winscard.dll (OpenSSL is cross-built into it
# on first use). `make test-windows` runs its tests under Wine: the unit
# tests, the service under Wine's service manager, the plug-in registered
# with regsvr32, and end to end against the Linux build's device stack
# through the relay.
WINDOWS_DIR ?= build-windows
windows:
	@scripts/install-deps --windows
	$(CMAKE) -S . -B $(WINDOWS_DIR) -G $(GENERATOR) -DQVX_WERROR=ON \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake \
	  -DQVX_LINUX_BUILD_DIR=$(abspath $(BUILD_DIR)) \
	  -DQVX_WINDOWS_X86_BUILD_DIR=$(abspath $(WINDOWS_X86_DIR))
	$(CMAKE) --build $(WINDOWS_DIR) -j$(JOBS)

# The plug-in and the reader driver for x86 as well, for browsers that run
# the plug-in in a 32-bit process and for 32-bit Windows: built, not run
# (there is no 32-bit Wine here).
WINDOWS_X86_DIR ?= build-windows-x86
windows-x86:
	@scripts/install-deps --windows
	$(CMAKE) -S . -B $(WINDOWS_X86_DIR) -G $(GENERATOR) -DQVX_WERROR=ON \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-i686.cmake
	$(CMAKE) --build $(WINDOWS_X86_DIR) -j$(JOBS) --target BRIXON brixonhost qvxrdr_sys qvxrdr_kernel_link_check

# The installer a bank ships: quorvex2-connector-<version>-x64.msi in
# build-windows/packaging/windows, every program and the package signed
# (the build's test certificate unless -DQVX_SIGNING_CERT... name the
# bank's own; README, "Shipping the connector to Windows PCs").
msi: windows windows-x86
	$(CMAKE) --build $(WINDOWS_DIR) --target msi

# The build prefix's Wine server (scripts/wine-run keeps it) ends with the run.
test-windows: build windows windows-x86 msi
	status=0; $(CTEST) --test-dir $(WINDOWS_DIR) --output-on-failure -j$(JOBS) --timeout 300 || \
	  status=$$?; WINEPREFIX=$(abspath $(WINDOWS_DIR))/wine wineserver -k 2>/dev/null; exit $$status

# The paced transfer and the packet rate in full over the driver lane (a
# Windows program under Wine through qvxrdr.sys), beside the Linux USB
# lane's runs of the same; `make test-windows` runs a short pass.
bench-windows: build windows
	$(CMAKE) --build $(WINDOWS_DIR) --target run-driver-lane-benchmarks

demo:
	@scripts/demo --build $(BUILD_DIR) --jobs $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(WINDOWS_DIR) $(WINDOWS_X86_DIR)
