# A thin front to the CMake build. `make demo` and `make check` install the
# Debian packages they need when these are missing.
#
# SDL=system|bundled|auto (default auto) chooses the SDL 1.2 to build with;
# SDL_SOURCE=PATH gives the source for a bundled SDL. Where a bundled SDL
# has no source and SDL's download is out of reach, Debian's SDL source is
# fetched with apt (scripts/configure.sh).

BUILD   ?= build
SANITIZE_BUILD ?= build-sanitize
DIST_BUILD ?= build-dist
BUNDLED_BUILD ?= build-bundled
WINDOWS_BUILD ?= build-dist-windows
CMAKE   ?= cmake
CTEST   ?= ctest
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX  ?= /usr/local
SDL     ?= auto
SDL_SOURCE ?=
DISCS   ?=

# $(call configure,BUILD_DIR,SDL,CMAKE_ARGS)
configure = CMAKE=$(CMAKE) scripts/configure.sh $(1) -DCDTRACKS_SDL=$(2) \
	$(if $(SDL_SOURCE),-DCDTRACKS_SDL_SOURCE=$(abspath $(SDL_SOURCE))) $(3)

# $(call test,BUILD_DIR): runs its tests; a build with no test is a failure,
# and so is a test still running after TEST_TIMEOUT seconds (those that need
# longer say so themselves). (ctest runs in the folder: --test-dir needs
# CMake 3.20.)
TEST_TIMEOUT ?= 120
test = cd $(1) && $(CTEST) --no-tests=error --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS)

.PHONY: all build demo check check-sanitize check-vm vm-programs check-dist check-distros install package \
	dist dist-windows check-windows bench clean

all: build

build:
	$(call configure,$(BUILD),$(SDL),-DCDTRACKS_TESTS=$(if $(NO_TESTS),OFF,ON))
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# Quiet: the build's output goes to BUILD/build.log; the answer comes last.
demo:
	@scripts/install-deps.sh demo
	@echo "Building cdtracks in $(BUILD)/ (its output: $(BUILD)/build.log)" >&2
	@scripts/quietly.sh $(BUILD)/build.log $(MAKE) --no-print-directory build NO_TESTS=1
	@CMAKE=$(CMAKE) scripts/demo.sh $(BUILD)

check:
	scripts/install-deps.sh check
	$(MAKE) --no-print-directory build
	$(call test,$(BUILD))

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize:
	scripts/install-deps.sh check
	$(call configure,$(SANITIZE_BUILD),$(SDL),-DCDTRACKS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
	$(CMAKE) --build $(SANITIZE_BUILD) -j $(JOBS)
	$(call test,$(SANITIZE_BUILD))

# The three builds, on the system's SDL, with SDL linked in, and fully
# static (make dist's), on Linux's own CD-ROM drivers: Debian's kernel in
# QEMU with virtio-scsi drives, and every disc of tests/discs in a USB drive
# served by cdemu-usb. DISCS=DIR adds DIR/NAME.disc, listed as
# DIR/NAME.expected says.
check-vm:
	scripts/install-deps.sh vm
	$(MAKE) --no-print-directory vm-programs
	$(MAKE) --no-print-directory build SDL=bundled BUILD=$(BUNDLED_BUILD)
	$(MAKE) --no-print-directory dist
	DISCS="$(DISCS)" VM_CDEMU=$(BUILD)/cdemu \
		tests/vm/check-vm.sh $(BUILD)/cdtracks $(BUNDLED_BUILD)/cdtracks $(DIST_BUILD)/cdtracks

# The emulated drive's programs for check-vm's guest, static.
vm-programs: build
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target emulator cdemu-usb cdemu-probe-static

# The quick start on Debian 11 and Debian 13, each in a fresh root made with
# debootstrap (kept in build-distro-cache/), and make dist's binary in those
# roots and in an empty one. Needs root.
check-distros:
	scripts/install-deps.sh distros
	$(MAKE) --no-print-directory dist
	tests/distros/check-distros.sh $(DIST_BUILD)/cdtracks

# make install [PREFIX=/usr/local] [DESTDIR=...]: builds BUILD as it is
# configured (if it is not, configures it, without the tests) and installs
# from it. The prefix is the install's own: BUILD's configuration is left
# as it was.
install:
	[ -f $(BUILD)/CMakeCache.txt ] || $(call configure,$(BUILD),$(SDL),-DCDTRACKS_TESTS=OFF)
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	DESTDIR=$(DESTDIR) $(CMAKE) --install $(BUILD) --prefix $(abspath $(PREFIX))

# A Debian package, build/cdtracks_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack -G DEB

# The release tarball, build-dist/cdtracks-<version>-linux-<arch>.tar.gz: a
# fully static cdtracks (SDL, the C++ runtime and the C library linked in).
dist:
	scripts/install-deps.sh demo
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_STATIC=ON -DCDTRACKS_TESTS=OFF -DCMAKE_BUILD_TYPE=Release)
	$(CMAKE) --build $(DIST_BUILD) -j $(JOBS)
	scripts/dist.sh $(DIST_BUILD)

# Every test on the very binary that make dist packs, then the tarball.
check-dist: dist
	scripts/install-deps.sh check
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_TESTS=ON)
	$(CMAKE) --build $(DIST_BUILD) -j $(JOBS)
	$(call test,$(DIST_BUILD))
	BUILD=$(DIST_BUILD) tests/dist/check-dist.sh $(DIST_BUILD)/cdtracks-*-linux-*.tar.gz

# cdtracks for 64-bit Windows, cross-built with MinGW-w64, SDL linked in:
# build-dist-windows/cdtracks-<version>-windows-x86_64.zip
dist-windows:
	scripts/install-deps.sh dist-windows
	$(call configure,$(WINDOWS_BUILD),bundled,-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release)
	$(CMAKE) --build $(WINDOWS_BUILD) -j $(JOBS)
	scripts/dist-windows.sh $(WINDOWS_BUILD)

# The Windows zip under Wine, against the emulated drive (built in BUILD),
# compared with the Linux build's output on the same discs.
check-windows:
	scripts/install-deps.sh windows
	$(MAKE) --no-print-directory build
	$(MAKE) --no-print-directory dist-windows
	tests/windows/check-windows.sh $(WINDOWS_BUILD)/cdtracks-*-windows-x86_64.zip $(BUILD)

# Figures, not a test: writes docs/performance.md.
bench:
	scripts/benchmark.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(DIST_BUILD) $(BUNDLED_BUILD) $(WINDOWS_BUILD) build-bench-* \
		build-sdl-source build-vm-cache build-distro-cache
