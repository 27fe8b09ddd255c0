# A thin front to the CMake build. The targets install the Debian packages
# they need when these are missing (scripts/install-deps.sh), and configure
# through scripts/configure.sh, which decides the SDL 1.2 to build with:
# SDL=system|bundled|auto (default auto), SDL_SOURCE=PATH the source of a
# bundled one.

BUILD   ?= build
SDL     ?= auto
SDL_SOURCE ?=
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX  ?= /usr/local
DISCS   ?=
CMAKE_ARGS ?=
TEST_TIMEOUT ?= 120
# make dist ARCH=one of RELEASE_ARCHES: the processor of the release
# binary, this machine's by default; another is cross-built with Debian's
# cross compiler (cmake/linux-ARCH.cmake). Each in build-dist-ARCH. The
# list is written here alone: make -s release-arches prints it for a
# script.
MACHINE := $(shell uname -m | sed -e 's/^armv[78]l$$/armhf/' -e 's/^i[3-6]86$$/i686/')
ARCH    ?= $(MACHINE)
RELEASE_ARCHES = x86_64 i686 aarch64 armhf
CROSS    = $(filter-out $(MACHINE),$(ARCH))
DIST_BUILD = build-dist-$(ARCH)
WINDOWS_BUILD = build-dist-windows
# Release files are dated from the last commit. (Expanded as a target's
# commands start: the targets that pack install git in a prerequisite.)
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
export SOURCE_DATE_EPOCH

# $(call q,VALUE): VALUE as one shell word, whatever blanks, quotes or
# letters it holds. Folders given to make (BUILD, PREFIX, DESTDIR,
# SDL_SOURCE) reach the shell only through it.
q = '$(subst ','\'',$(1))'
B = $(call q,$(BUILD))

# $(call configure,BUILD_DIR,SDL,CMAKE_ARGS): BUILD_DIR quoted already
# (configure.sh makes SDL_SOURCE absolute itself).
configure = scripts/configure.sh $(1) -DCDTRACKS_SDL=$(2) \
	$(if $(SDL_SOURCE),$(call q,-DCDTRACKS_SDL_SOURCE=$(SDL_SOURCE))) $(3)
# $(call test,BUILD_DIR[,CTEST_ARGS]): its tests but those that need the
# network (label net); with TREE=no, also but those of the source tree
# itself (label tree: the lint, the documents, the real discs' data, the
# scripts' own tests), which no build and no processor changes. A build with
# no test is a failure, and so is a test still running after TEST_TIMEOUT
# seconds (those that need longer say so). (scripts/ctest.sh runs it in the
# folder, as --test-dir needs CMake 3.20, and so that an interruption stops
# every test.)
TREE ?= yes
test = scripts/ctest.sh $(1) --no-tests=error --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS) \
	$(if $(2),$(2),-LE '^(net$(if $(filter no,$(TREE)),|tree))$$')

.PHONY: all release-arches build demo check check-cdemu check-net check-sanitize install package dist dist-deps check-dist dist-windows \
	dist-windows-deps check-windows check-vm check-distros check-interrupt check-any-folder release check-release \
	docs bench clean

all: build

release-arches:
	@echo $(RELEASE_ARCHES)

build:
	$(call configure,$(B),$(SDL),-DCDTRACKS_TESTS=$(if $(NO_TESTS),OFF,ON) $(CMAKE_ARGS))
	cmake --build $(B) -j $(JOBS)

# Quiet: the build's output goes to BUILD/build.log, shown whole only when
# it fails; what a reader needs of it (which SDL, any warning) comes first.
demo:
	@scripts/install-deps.sh demo
	@build=$(B); echo "Building cdtracks in $$build/ (its output: $$build/build.log)" >&2
	@build=$(B); mkdir -p "$$build" && $(MAKE) --no-print-directory build NO_TESTS=1 >"$$build/build.log" 2>&1 || \
		{ cat "$$build/build.log" >&2; echo "demo: the build failed (above, and in $$build/build.log)" >&2; exit 1; }
	@grep -E -e '^(cdtracks SDL|configure: )' -e '[Ww]arning|CMake Error' $(B)/build.log >&2 || true
	@scripts/demo.sh $(B)

check:
	scripts/install-deps.sh check
	$(MAKE) --no-print-directory build
	$(call test,$(B))

# The emulated drive's own tests alone (label cdemu; cdtracks' are label
# cdtracks).
check-cdemu:
	scripts/install-deps.sh check
	$(MAKE) --no-print-directory build
	$(call test,$(B),-L cdemu -LE net)

# The tests that download (Debian's real SDL packages, SDL's source), in
# BUILD as make check built it.
check-net:
	$(call test,$(B),-L net)

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer (but
# the source tree's, which no build changes).
check-sanitize:
	$(MAKE) --no-print-directory check BUILD=build-sanitize CMAKE_ARGS="-DCDTRACKS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug" \
		TREE=no

# make install [PREFIX=/usr/local] [DESTDIR=...]: from BUILD as it is
# configured, or configured without the tests; the prefix is the install's
# own (a relative one is taken from here), BUILD's configuration is left as
# it was.
install:
	scripts/install-deps.sh build
	[ -f $(B)/CMakeCache.txt ] || $(call configure,$(B),$(SDL),-DCDTRACKS_TESTS=OFF)
	cmake --build $(B) -j $(JOBS)
	prefix=$(call q,$(PREFIX)); case $$prefix in /*) ;; *) prefix=$$PWD/$$prefix ;; esac; \
		DESTDIR=$(call q,$(DESTDIR)) cmake --install $(B) --prefix "$$prefix"

# A Debian package, BUILD/cdtracks_<version>_<arch>.deb: from BUILD as it is
# configured, or configured without the tests. Configuring again reads the
# maintainer's address anew (cmake/maintainer.cmake decides it), not
# BUILD's choices.
package:
	scripts/install-deps.sh package
	if [ -f $(B)/CMakeCache.txt ]; then cmake $(B) >/dev/null; \
		else $(call configure,$(B),$(SDL),-DCDTRACKS_TESTS=OFF $(CMAKE_ARGS)); fi
	cmake --build $(B) -j $(JOBS)
	cd $(B) && cpack -G DEB

# The release tarball, build-dist-ARCH/cdtracks-<version>-linux-ARCH.tar.gz:
# a fully static cdtracks (SDL, the C++ runtime and the C library linked in).
# What it needs is installed by a target of its own, which runs first, so
# that git, which dates the archive, is there when dist's commands start.
dist-deps:
	$(if $(CROSS),$(if $(wildcard cmake/linux-$(ARCH).cmake),,$(error ARCH=$(ARCH): \
		this machine builds $(MACHINE) and cross-builds $(filter-out $(MACHINE),$(RELEASE_ARCHES)))))
	scripts/install-deps.sh $(if $(CROSS),dist-$(ARCH),dist)
dist: dist-deps
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_STATIC=ON -DCDTRACKS_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
		$(if $(CROSS),$(call q,-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/linux-$(ARCH).cmake)))
	cmake --build $(DIST_BUILD) -j $(JOBS)
	scripts/pack.sh $(DIST_BUILD)

# Every test on the very binary that make dist packs (but the source tree's,
# which make check runs), then the tarball. A
# binary of another processor cannot run the tests here: an i686 one lists
# the sample disc through the emulator built in BUILD, an ARM one starts
# under qemu-user, in an empty root.
check-dist: dist
	scripts/install-deps.sh check
	$(if $(CROSS),scripts/install-deps.sh foreign)
ifeq ($(CROSS),)
	$(call configure,$(DIST_BUILD),bundled,-DCDTRACKS_TESTS=ON)
	cmake --build $(DIST_BUILD) -j $(JOBS)
	$(call test,$(DIST_BUILD),-LE '^(net|tree)$$')
endif
	$(if $(filter i686,$(ARCH)),$(MAKE) --no-print-directory build)
	BUILD=$(if $(CROSS),$(B),$(DIST_BUILD)) tests/system/check-dist.sh $(DIST_BUILD)/cdtracks-*-linux-*.tar.gz

# cdtracks for 64-bit Windows, cross-built with MinGW-w64, SDL linked in:
# build-dist-windows/cdtracks-<version>-windows-x86_64.zip
dist-windows-deps:
	scripts/install-deps.sh dist-windows
dist-windows: dist-windows-deps
	$(call configure,$(WINDOWS_BUILD),bundled,$(call q,-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake) \
		-DCMAKE_BUILD_TYPE=Release)
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	scripts/pack.sh $(WINDOWS_BUILD)

# The Windows zip under Wine, against the emulated drive built in BUILD,
# compared with the Linux build's output on the same discs.
check-windows: dist-windows
	scripts/install-deps.sh windows
	$(MAKE) --no-print-directory build
	tests/system/check-windows.sh $(WINDOWS_BUILD)/cdtracks-*-windows-x86_64.zip $(B)

# The three builds (system SDL, SDL linked in, make dist's) on Linux's own
# CD-ROM drivers: Debian's kernel in QEMU, virtio-scsi drives, and every
# disc of tests/discs (and DISCS=DIR) in a USB drive that cdemu-usb serves.
# RECORD=1 writes each disc's NAME.probe, the kernel's answers that make
# check holds the emulated drive to, where it is missing or differs.
# ARCH=another of RELEASE_ARCHES: make dist's binary for ARCH on Debian's kernel
# for it, the drive's programs built for ARCH, each run compared with the
# x86-64 binary's on the emulated drive; the i686 one on the amd64 kernel too.
VM = DISCS=$(call q,$(DISCS)) VM_RECORD=$(call q,$(RECORD)) VM_CDEMU=$(B)/cdemu tests/system/check-vm.sh
check-vm:
	scripts/install-deps.sh vm$(if $(filter aarch64 armhf,$(ARCH)),-arm)
	$(MAKE) --no-print-directory build
	cmake --build $(B) -j $(JOBS) --target emulator cdemu-usb cdemu-probe-static
	$(MAKE) --no-print-directory dist ARCH=$(MACHINE)
ifeq ($(CROSS),)
	$(MAKE) --no-print-directory build SDL=bundled BUILD=build-bundled
	$(VM) $(B)/cdtracks build-bundled/cdtracks $(DIST_BUILD)/cdtracks
else
	$(MAKE) --no-print-directory dist
	cmake --build $(DIST_BUILD) -j $(JOBS) --target cdemu-usb cdemu-probe-static
	VM_ARCH=$(ARCH) VM_GUEST_CDEMU=$(DIST_BUILD)/cdemu VM_REFERENCE=build-dist-$(MACHINE)/cdtracks \
		$(VM) $(DIST_BUILD)/cdtracks
	$(if $(filter i686,$(ARCH)),VM_REFERENCE=build-dist-$(MACHINE)/cdtracks $(VM) $(DIST_BUILD)/cdtracks)
endif

# The quick start on fresh Debian 11, 13 and 13 arm64 roots (mmdebstrap,
# kept in build-distro-cache/), and make dist's binaries in them and in
# empty roots. Needs root.
check-distros:
	scripts/install-deps.sh distros
	$(MAKE) --no-print-directory dist ARCH=$(MACHINE)
	$(MAKE) --no-print-directory dist ARCH=aarch64
	tests/system/check-distros.sh build-dist-$(MACHINE)/cdtracks build-dist-aarch64/cdtracks

# Every release file in build-release/: the tarball of each of
# RELEASE_ARCHES, the Windows zip, and SHA256SUMS. The same commit gives the
# same files, byte for byte, wherever it is built.
release:
	$(foreach a,$(RELEASE_ARCHES),$(MAKE) --no-print-directory dist ARCH=$(a) &&) true
	$(MAKE) --no-print-directory dist-windows
	rm -rf build-release && mkdir build-release
	cp $(foreach a,$(RELEASE_ARCHES),build-dist-$(a)/cdtracks-*.tar.gz) $(WINDOWS_BUILD)/cdtracks-*.zip build-release/
	cd build-release && sha256sum -- cdtracks-* >SHA256SUMS

# make release in a fresh clone of HEAD, in a folder of another name and
# depth: its files must be this one's, byte for byte, and its sums check.
check-release: release
	scripts/install-deps.sh release
	tests/system/check-release.sh build-release

# make check, make check-vm and make check-windows interrupted once under
# way, as by Ctrl-C:
# each must stop within seconds, QEMU and Wine included, and leave nothing
# behind.
check-interrupt:
	tests/system/check-interrupt.sh check check-vm check-windows

# The quick start (make demo, make check) in a fresh clone in a folder whose
# path has blanks and a letter that is not ASCII, as a user who is not root
# (nobody). Needs root, and git.
check-any-folder:
	scripts/install-deps.sh check dist
	tests/system/check-any-folder.sh

# The manual page's rendered copies, docs/cdtracks.md and docs/cdtracks.txt,
# which make check holds to the page.
docs:
	docs/render.sh

# Figures, not a test: writes docs/performance.md.
bench:
	scripts/benchmark.sh

clean:
	rm -rf build build-*
