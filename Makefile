# A thin front to the CMake build. `make demo` and `make check` install the
# Debian packages they need when these are missing.
#
# SDL=system|bundled|auto (default auto) chooses the SDL 1.2 to build with;
# SDL_SOURCE=PATH gives the source for a bundled SDL. Where a bundled SDL
# has no source and SDL's download is out of reach, Debian's SDL source is
# fetched with apt (scripts/configure.sh).

BUILD   ?= build
SANITIZE_BUILD ?= build-sanitize
# make dist ARCH=x86_64|i686|aarch64|armhf: the processor the release binary
# is for, this machine's own by default; another is cross-built with
# Debian's cross compiler (cmake/linux-ARCH.cmake). Each in build-dist-ARCH.
MACHINE_ARCH := $(shell uname -m | sed -e 's/^armv[78]l$$/armhf/' -e 's/^i[3-6]86$$/i686/')
ARCH    ?= $(MACHINE_ARCH)
RELEASE_ARCHES = x86_64 i686 aarch64 armhf
CROSS   = $(filter-out $(MACHINE_ARCH),$(ARCH))
DIST_BUILD ?= build-dist-$(ARCH)
RELEASE_DIR ?= build-release
BUNDLED_BUILD ?= build-bundled
WINDOWS_BUILD ?= build-dist-windows
CMAKE   ?= cmake
CTEST   ?= ctest
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX  ?= /usr/local
SDL     ?= auto
SDL_SOURCE ?=
DISCS   ?=
# Release files take their dates from the last commit.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif

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
	dist dist-windows check-windows release check-release bench clean

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
# DIR/NAME.expected says. RECORD=1 writes each disc's NAME.probe, the
# kernel's answers that make check holds the emulated drive to, where it is
# missing or differs, instead of failing.
# ARCH=i686|aarch64|armhf: make dist's binary for ARCH on Debian's kernel for
# it (686, arm64, armmp), the drive's programs built for ARCH, each run
# compared with the x86-64 binary's on the emulated drive; the i686 one in
# the amd64 kernel's 32-bit layer too.
check-vm:
ifeq ($(ARCH),x86_64)
	scripts/install-deps.sh vm
	$(MAKE) --no-print-directory vm-programs
	$(MAKE) --no-print-directory build SDL=bundled BUILD=$(BUNDLED_BUILD)
	$(MAKE) --no-print-directory dist
	DISCS="$(DISCS)" VM_RECORD="$(RECORD)" VM_CDEMU=$(BUILD)/cdemu \
		tests/system/check-vm.sh $(BUILD)/cdtracks $(BUNDLED_BUILD)/cdtracks $(DIST_BUILD)/cdtracks
else
	scripts/install-deps.sh vm$(if $(filter aarch64 armhf,$(ARCH)),-arm)
	$(MAKE) --no-print-directory vm-programs
	$(MAKE) --no-print-directory dist ARCH=x86_64 DIST_BUILD=build-dist-x86_64
	$(MAKE) --no-print-directory dist
	$(CMAKE) --build $(DIST_BUILD) -j $(JOBS) --target cdemu-usb cdemu-probe-static
	DISCS="$(DISCS)" VM_RECORD="$(RECORD)" VM_ARCH=$(ARCH) VM_CDEMU=$(BUILD)/cdemu VM_GUEST_CDEMU=$(DIST_BUILD)/cdemu \
		VM_REFERENCE=build-dist-x86_64/cdtracks tests/system/check-vm.sh $(DIST_BUILD)/cdtracks
ifeq ($(ARCH),i686)
	DISCS="$(DISCS)" VM_CDEMU=$(BUILD)/cdemu VM_REFERENCE=build-dist-x86_64/cdtracks \
		tests/system/check-vm.sh $(DIST_BUILD)/cdtracks
endif
endif

# The emulated drive's programs for check-vm's guest, static.
vm-programs: build
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target emulator cdemu-usb cdemu-probe-static

# The quick start on Debian 11, Debian 13 and Debian 13 on arm64 (through
# qemu-user, registered with binfmt_misc for the run), each in a fresh root
# made with debootstrap (kept in build-distro-cache/), and make dist's
# binaries in the roots of their processors and in empty ones. Needs root.
check-distros:
	scripts/install-deps.sh distros
	$(MAKE) --no-print-directory dist ARCH=$(MACHINE_ARCH) DIST_BUILD=build-dist-$(MACHINE_ARCH)
	$(MAKE) --no-print-directory dist ARCH=aarch64 DIST_BUILD=build-dist-aarch64
	tests/system/check-distros.sh build-dist-$(MACHINE_ARCH)/cdtracks build-dist-aarch64/cdtracks

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

# The release tarball, build-dist-ARCH/cdtracks-<version>-linux-ARCH.tar.gz:
# a fully static cdtracks (SDL, the C++ runtime and the C library linked in).
dist:
	$(if $(CROSS),$(if $(wildcard cmake/linux-$(ARCH).cmake),,$(error ARCH=$(ARCH): \
		this machine builds $(MACHINE_ARCH) and cross-builds $(filter-out $(MACHINE_ARCH),$(RELEASE_ARCHES)))))
	scripts/install-deps.sh $(if $(CROSS),dist-$(ARCH),demo)
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_STATIC=ON -DCDTRACKS_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
		$(if $(CROSS),-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/linux-$(ARCH).cmake))
	$(CMAKE) --build $(DIST_BUILD) -j $(JOBS)
	scripts/dist.sh $(DIST_BUILD)

# Every test on the very binary that make dist packs, then the tarball: its
# binary lists the sample disc through the emulated drive. A binary of
# another processor cannot run the tests here: an i686 one lists the sample
# disc through the emulator built in BUILD, an ARM one starts under
# qemu-user, in an empty root.
check-dist: dist
	scripts/install-deps.sh check
	$(if $(CROSS),scripts/install-deps.sh foreign)
ifeq ($(CROSS),)
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_TESTS=ON)
	$(CMAKE) --build $(DIST_BUILD) -j $(JOBS)
	$(call test,$(DIST_BUILD))
	BUILD=$(DIST_BUILD) tests/system/check-dist.sh $(DIST_BUILD)/cdtracks-*-linux-*.tar.gz
else
	$(if $(filter i686,$(ARCH)),$(MAKE) --no-print-directory build)
	BUILD=$(BUILD) tests/system/check-dist.sh $(DIST_BUILD)/cdtracks-*-linux-*.tar.gz
endif

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
	tests/system/check-windows.sh $(WINDOWS_BUILD)/cdtracks-*-windows-x86_64.zip $(BUILD)

# Every release file in RELEASE_DIR (build-release/): the tarball of each
# of RELEASE_ARCHES, the Windows zip, and SHA256SUMS. The same commit gives
# the same files, byte for byte, wherever it is built.
release:
	$(foreach a,$(RELEASE_ARCHES),$(MAKE) --no-print-directory dist ARCH=$(a) DIST_BUILD=build-dist-$(a) &&) true
	$(MAKE) --no-print-directory dist-windows
	scripts/release.sh $(RELEASE_DIR) $(foreach a,$(RELEASE_ARCHES),build-dist-$(a)) $(WINDOWS_BUILD)

# make release in two fresh clones of HEAD, in folders of different names:
# the files must be the same and their sums must check.
check-release:
	scripts/install-deps.sh release
	tests/system/check-release.sh

# Figures, not a test: writes docs/performance.md.
bench:
	scripts/benchmark.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-dist-* $(BUNDLED_BUILD) $(WINDOWS_BUILD) build-bench-* \
		build-sdl-source build-vm-cache build-distro-cache $(RELEASE_DIR)
