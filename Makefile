# QUORVEX — build, test and demo entry points. Every build is a preset of
# the one CMake project (CMakePresets.json); this file only calls them.
#   make test   installs what is missing (as root), builds, runs every test in
#               the optimised and the sanitizer builds, the fuzz targets'
#               short runs, the panel under Wine and the install checks
#   make demo   builds and encodes/decodes a sample file with the sample key book
#   make faults every file system call of a run failing in turn (the full matrix)
SHELL := /bin/bash
JOBS ?= 2

# Debian packages, by what needs them. `make deps` installs, in one apt-get
# run, those the requested goals need (all of them for `make test`).
DEBS_BUILD := cmake ninja-build g++ libgtest-dev libssl-dev make
DEBS_FUZZ := clang libclang-rt-dev
DEBS_PANEL := mingw-w64 wine64 wine xvfb xauth imagemagick fonts-wine
DEBS_DIST := mandoc dpkg-dev file lintian
GOALS := $(or $(MAKECMDGOALS),all)
DEBS := $(DEBS_BUILD) \
  $(if $(filter test test-fuzz fuzz fuzz-build deps-all,$(GOALS)),$(DEBS_FUZZ)) \
  $(if $(filter test panel panel-build-test panel-test package dist-test deps-all,$(GOALS)),$(DEBS_PANEL)) \
  $(if $(filter test package dist-test deps-all,$(GOALS)),$(DEBS_DIST))

.PHONY: all deps deps-all build test test-default test-sanitize demo bench bench-deps clean

all: build

deps:
	@missing=""; for p in $(DEBS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else echo "missing Debian packages:$$missing (run 'make deps' as root)"; exit 1; fi; \
	fi

# Everything any goal needs, e.g. before working offline.
deps-all: deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

test-default: build
	ctest --preset default

test-sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize

test: test-default test-sanitize test-fuzz panel-test dist-test

# Only the engine: the demo runs nothing else.
demo: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS) --target qvx7
	@bash examples/demo.sh build/default/engine/qvx7

# The tools a user could pick instead, to compare with in the same run; the
# bench installs them (as root), never the tests. One that cannot be
# installed is left out of the figures.
BENCH_DEBS := ccrypt gnupg openssl age

bench-deps:
	-@$(MAKE) --no-print-directory deps DEBS="$(BENCH_DEBS)"

bench: build bench-deps
	@bash bench/bench.sh build/default/engine/qvx7

clean:
	rm -rf build

# ---- Hardening: fuzzing (the fuzz preset: clang + libFuzzer) and big files ----
#   make fuzz      every fuzz target for FUZZ_SECONDS each
#   make bigfile   a 5 GiB round trip through the optimised engine
FUZZ_SECONDS ?= 120
FUZZ_SHORT ?= 12

.PHONY: fuzz-build fuzz test-fuzz bigfile

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SHORT)

bigfile: build
	bash tests/bigfile.sh build/default/engine/qvx7

# ---- Fault injection: every file system call of a run failing in turn ----
#   make faults    the full matrix (make test runs a sample of it): every
#                  call of an encoding and a decoding, small and spilled,
#                  once per error, against the optimised engine
.PHONY: faults

faults: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS) --target qvx7 fault_driver qvx_fault_layer
	build/default/tests/faults/fault_driver build/default/engine/qvx7 \
	  build/default/tests/faults/libqvx_fault_layer.so --full

# ---- The panel for Windows: the windows preset (mingw-w64), tested under Wine ----
#   make panel       build/win/qvxpanel.exe and build/win/qvx4.exe (the engine)
#   make panel-test  drives the panel's real windows under Wine (xvfb,
#                    imagemagick); screenshots in build/win/e2e

.PHONY: panel panel-build-test panel-test

panel: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

panel-build-test: panel
	cmake --build --preset windows-test -j $(JOBS)

panel-test: panel-build-test build
	bash panel/win32/e2e/run.sh build/win build/default/engine/qvx7

# ---- Install and packages ----
#   make install PREFIX=/usr/local   qvx7 in bin/, qvx7(1) in share/man/man1/,
#                                    README and the sample key book in
#                                    share/doc/quorvex/ (DESTDIR is honoured)
#   make package   build/package/quorvex_<version>_<arch>.deb (CPack) and,
#                  from the Windows build, quorvex-<version>-windows.zip
#   make dist-test the manual page's lint, an install into a scratch DESTDIR
#                  with the installed engine's round trip, the packages' contents
PREFIX ?= /usr/local
VERSION := $(shell sed -n 's/^set(QVX_VERSION \([0-9.]*\)).*$$/\1/p' CMakeLists.txt)
WINZIP := quorvex-$(VERSION)-windows

.PHONY: install package dist-test

install: build
	DESTDIR="$(DESTDIR)" cmake --install build/default --prefix "$(PREFIX)"

package: build panel
	cpack --config build/default/CPackConfig.cmake -B build/package
	rm -rf build/package/$(WINZIP) build/package/$(WINZIP).zip
	mkdir -p build/package/$(WINZIP)
	cp build/win/qvxpanel.exe build/win/qvx4.exe build/package/$(WINZIP)/
	sed 's/$$/\r/' docs/README-windows.txt > build/package/$(WINZIP)/README.txt
	cd build/package && cmake -E tar cf $(WINZIP).zip --format=zip $(WINZIP)

dist-test: package
	bash tests/dist.sh build/default build/package $(VERSION)
