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
	format format-check deps install clean

all: release

deps:
	bash scripts/install-deps.sh

# The programs, the shipped data under $(PREFIX)/share/zentari and the udev rule.
PREFIX ?= /usr/local
install: release
	$(CMAKE) --install build/release --prefix $(PREFIX)

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
