# QUORVEX — build, test and demo entry points.
#   make test   installs what is missing (as root), builds, runs every test in
#               the optimised and the sanitizer builds
#   make demo   builds and encodes/decodes a sample file with the sample key book
SHELL := /bin/bash
DEBS := cmake ninja-build g++ libgtest-dev make
JOBS ?= 2

.PHONY: all deps build test test-default test-sanitize demo bench clean

all: build

deps:
	@missing=""; for p in $(DEBS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else echo "missing Debian packages:$$missing (run 'make deps' as root)"; exit 1; fi; \
	fi

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

demo: build
	@bash examples/demo.sh build/default/engine/qvx7

bench: build
	@bash bench/bench.sh build/default/engine/qvx7

clean:
	rm -rf build

# ---- Hardening: fuzzing (clang + libFuzzer, its own build) and big files ----
#   make fuzz      every fuzz target for FUZZ_SECONDS each
#   make bigfile   a 5 GiB round trip through the optimised engine
FUZZ_DEBS := clang libclang-rt-14-dev
FUZZ_SECONDS ?= 120
FUZZ_SHORT ?= 12

.PHONY: fuzz-deps fuzz-build fuzz test-fuzz bigfile

fuzz-deps:
	@$(MAKE) --no-print-directory deps DEBS="$(FUZZ_DEBS)"

fuzz-build: deps fuzz-deps
	cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build build/fuzz -j $(JOBS)

fuzz: fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SHORT)

bigfile: build
	bash tests/bigfile.sh build/default/engine/qvx7

# ---- The panel for Windows: cross-built with mingw-w64, tested under Wine ----
#   make panel       build/win/qvxpanel.exe and build/win/qvx4.exe (the engine)
#   make panel-test  drives the panel's real windows under Wine (installs
#                    wine, xvfb and imagemagick when missing); screenshots in
#                    build/win/e2e
PANEL_DEBS := mingw-w64 cmake ninja-build

.PHONY: panel panel-build-test panel-test

panel:
	@$(MAKE) --no-print-directory deps DEBS="$(PANEL_DEBS)"
	cmake -S panel/win32 -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/panel/win32/mingw-w64.cmake >/dev/null
	cmake --build build/win -j $(JOBS) --target qvxpanel qvx7

panel-build-test: panel
	cmake --build build/win -j $(JOBS) --target qvxpanel_test qvx_ctrl_c_test

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
DIST_DEBS := mandoc dpkg-dev file
VERSION := $(shell sed -n 's/^set(QVX_VERSION \(.*\))$$/\1/p' engine/version.cmake)
WINZIP := quorvex-$(VERSION)-windows

.PHONY: dist-deps install package dist-test

dist-deps:
	@$(MAKE) --no-print-directory deps DEBS="$(DIST_DEBS)"

install: build
	DESTDIR="$(DESTDIR)" cmake --install build/default --prefix "$(PREFIX)"

package: build dist-deps panel
	cpack --config build/default/CPackConfig.cmake -B build/package
	rm -rf build/package/$(WINZIP) build/package/$(WINZIP).zip
	mkdir -p build/package/$(WINZIP)
	cp build/win/qvxpanel.exe build/win/qvx4.exe build/package/$(WINZIP)/
	sed 's/$$/\r/' docs/README-windows.txt > build/package/$(WINZIP)/README.txt
	cd build/package && cmake -E tar cf $(WINZIP).zip --format=zip $(WINZIP)

dist-test: package
	bash tests/dist.sh build/default build/package $(VERSION)
