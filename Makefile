# A thin front to the CMake build. `make demo` and `make check` install the
# Debian packages they need when these are missing.

BUILD   ?= build
SANITIZE_BUILD ?= build-sanitize
CMAKE   ?= cmake
CTEST   ?= ctest
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX  ?= /usr/local

.PHONY: all build demo check check-sanitize install package bench clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCDTRACKS_TESTS=$(if $(NO_TESTS),OFF,ON)
	$(CMAKE) --build $(BUILD) -j $(JOBS)

demo:
	scripts/install-deps.sh demo
	$(MAKE) --no-print-directory build NO_TESTS=1
	scripts/demo.sh $(BUILD)

check:
	scripts/install-deps.sh check
	$(MAKE) --no-print-directory build
	$(CTEST) --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize:
	scripts/install-deps.sh check
	$(CMAKE) -S . -B $(SANITIZE_BUILD) -DCDTRACKS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	$(CMAKE) --build $(SANITIZE_BUILD) -j $(JOBS)
	$(CTEST) --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# make install [PREFIX=/usr/local] [DESTDIR=...]
install:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	DESTDIR=$(DESTDIR) $(CMAKE) --install $(BUILD)

# A Debian package, build/cdtracks_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack -G DEB

# Figures, not a test: writes docs/performance.md.
bench:
	scripts/benchmark.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-bench-dynamic build-bench-static
