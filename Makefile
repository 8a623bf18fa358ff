# Quick start: `make demo` runs the main job, `make test` builds everything and
# runs every suite. Both install what is missing first.
PRESETS ?= linux linux-asan linux-tsan win32 win64
SHELL := /bin/bash

.PHONY: all deps build test demo bench clean format $(addprefix build-,$(PRESETS))

all: build

deps:
	@scripts/install-deps.sh

build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -- --no-print-directory -s

build: $(addprefix build-,$(PRESETS))

# Every suite, each preset's ctest run inside a private network namespace.
test: build
	@scripts/netns-run.sh scripts/run-tests.sh $(PRESETS)

demo: deps build-linux
	@scripts/demo.sh

bench: deps build-linux
	@scripts/netns-run.sh scripts/run-bench.sh

format:
	@find src tools tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
