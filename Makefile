# The one entry point. `make` builds the release tree, `make test` runs every test
# in the release and the sanitizer builds (the tsan build only builds and runs the
# tests of the libraries with threads), `make fuzz` fuzzes each parser for a
# bounded time, `make bench` runs the benchmarks, `make format-check` checks the
# formatting of the tracked sources and `make format` applies it.

JOBS ?= 2
FUZZ_SECONDS ?= 60
CMAKE ?= cmake
CTEST ?= ctest

.PHONY: all demo release asan tsan fuzz-build test test-release test-asan test-tsan fuzz fuzz-replay bench \
	format format-check deps dist install uninstall package package-check clean

all: release

deps:
	bash scripts/install-deps.sh

# make install and make package build in DIST_DIR: the release configuration
# without tests and benchmarks, so only what is installed gets built. A tree that
# is already configured is used as it is (CI packages the tested build/release).
# Everything goes under PREFIX, so PREFIX=~/.local needs no root; the udev rules
# land in PREFIX/lib/udev/rules.d (README: "A real sign").
PREFIX ?= /usr/local
DIST_DIR ?= build/dist
CPACK ?= cpack
# A ~ that no shell expanded (sh, quotes) still means the home folder.
prefix = $(patsubst ~/%,$(HOME)/%,$(PREFIX))

dist:
	@test -f $(DIST_DIR)/build.ninja || \
	  $(CMAKE) --preset release -B $(DIST_DIR) -DZENTARI_TESTS=OFF -DZENTARI_BENCH=OFF
	$(CMAKE) --build $(DIST_DIR) -j $(JOBS)

# cmake --install lists what it wrote in install_manifest.txt, which cpack
# overwrites with its own; a copy is kept for make uninstall. The desktop's
# caches learn the new MIME type and desktop file when their tools are there.
install: dist
	$(CMAKE) --install $(DIST_DIR) --prefix $(prefix) --strip
	cp $(DIST_DIR)/install_manifest.txt $(DIST_DIR)/installed_files.txt
	@if command -v update-mime-database >/dev/null; then update-mime-database $(prefix)/share/mime; fi
	@if command -v update-desktop-database >/dev/null; then \
	  update-desktop-database -q $(prefix)/share/applications; fi

uninstall:
	@test -f $(DIST_DIR)/installed_files.txt || { echo "uninstall: nothing installed from $(DIST_DIR)"; exit 1; }
	$(CMAKE) -DMANIFEST=$(DIST_DIR)/installed_files.txt -P cmake/Uninstall.cmake
	rm -f $(DIST_DIR)/installed_files.txt

# The Debian package: $(DIST_DIR)/zentari_<version>_<arch>.deb, installing to /usr.
package: dist
	cd $(DIST_DIR) && $(CPACK) -G DEB

# Unpacks the package into a scratch root and runs, validates and checks what it ships.
package-check: package
	bash scripts/check-package.sh $(DIST_DIR)

# Installs what is missing, builds, and starts the program from the build tree
# with one virtual 48 × 12 sign, so Send works without hardware.
demo: deps release
	build/release/bin/zentari --virtual-sign 48x12

build/release/build.ninja:
	$(CMAKE) --preset release
build/asan/build.ninja:
	$(CMAKE) --preset asan
build/tsan/build.ninja:
	$(CMAKE) --preset tsan
build/fuzz/build.ninja:
	$(CMAKE) --preset fuzz

release: build/release/build.ninja
	$(CMAKE) --build --preset release -j $(JOBS)

asan: build/asan/build.ninja
	$(CMAKE) --build --preset asan -j $(JOBS)

tsan: build/tsan/build.ninja
	$(CMAKE) --build --preset tsan -j $(JOBS)

fuzz-build: build/fuzz/build.ninja
	$(CMAKE) --build --preset fuzz -j $(JOBS)

test-release: release
	$(CTEST) --preset release -j $(JOBS)

test-asan: asan
	$(CTEST) --preset asan -j $(JOBS)

test-tsan: tsan
	$(CTEST) --preset tsan -j $(JOBS)

test: test-release test-asan test-tsan

format-check:
	bash scripts/check-format.sh

format:
	bash scripts/check-format.sh --fix

# Each fuzzer runs on a scratch copy of its seed corpus, so the committed corpus
# only changes when someone adds a seed on purpose; findings land in build/fuzz/findings.
fuzz: fuzz-build
	@set -e; for f in build/fuzz/bin/fuzz_*; do \
	  name=$${f##*/fuzz_}; work=build/fuzz/corpus/$$name; \
	  mkdir -p $$work build/fuzz/findings; cp -n fuzz/corpus/$$name/* $$work/ 2>/dev/null || true; \
	  echo "== fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	      -artifact_prefix=build/fuzz/findings/$$name- $$work fuzz/corpus/$$name; \
	done

# Every seed once, no new fuzzing.
fuzz-replay: fuzz-build
	$(CTEST) --preset fuzz -j $(JOBS)

bench: release
	@set -e; for b in build/release/bin/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf build
