# Quick start: `make demo` runs the main job, `make test` builds everything and
# runs every suite, `make dist` makes the release artefacts in dist/. They
# install what is missing first.
PRESETS ?= linux linux-asan linux-tsan win32 win64
# `make fuzz` runs every fuzz target this long (or FUZZ_RUNS executions each).
FUZZ_SECONDS ?= 600
FUZZ_RUNS ?=
SHELL := /bin/bash

.PHONY: all deps build test analyze demo bench fuzz clean format dist dist-check $(addprefix build-,$(PRESETS) fuzz)

all: build

deps:
	@scripts/install-deps.sh

$(addprefix build-,$(PRESETS) fuzz): build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -- --no-print-directory -s

build: $(addprefix build-,$(PRESETS))

# Every preset built and its suites run, in lanes side by side in private
# network namespaces: the Windows presets under Wine first, beside the Linux
# builds; then the Linux presets and a short run of every fuzz target; beside
# them clang-tidy and cppcheck, and the release artefacts built twice and
# compared (scripts/test-all.sh). Each runs to its end whatever the others
# found.
test: deps
	@scripts/test-all.sh $(PRESETS) fuzz

# The Windows zips, the Debian package and SHA256SUMS in dist/, from the
# working tree, dated by the last commit.
dist: deps
	@scripts/dist/make-dist.sh

# `make dist` twice in two folders, compared byte for byte, and the artefacts
# checked as a user would use them.
dist-check: deps
	@scripts/dist/check.sh

# clang-tidy and cppcheck alone.
analyze: deps
	@scripts/run-static-analysis.sh

fuzz: build-fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_RUNS=$(FUZZ_RUNS) scripts/run-fuzz.sh long

# Only the programs the demo runs, one line per step (scripts/demo-build.sh).
demo: deps
	@scripts/demo-build.sh
	@scripts/demo.sh

bench: deps build-linux build-win32
	@scripts/netns-run.sh scripts/run-bench.sh

format:
	@find src tools tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build dist
