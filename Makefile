# Top-level convenience targets. `make test` and `make run` work on a fresh
# Debian 12 machine: they install what is missing, configure, build and go.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_BUILD ?= build-asan

.PHONY: all deps configure build format-check test asan run bench clean

all: build

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# A source that deviates from .clang-format fails the tests before anything builds.
format-check: deps
	./scripts/format-check

test: format-check build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The whole suite once more in a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer, in a build folder of its own; a report fails
# the test that made it.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 1800

# `make run FILES="a.cpp b.h"` opens those files; ARGS passes anything else
# (toolkit options such as ARGS="-platform xcb").
run: build
	$(BUILD)/src/vexa/vexa $(ARGS) $(FILES)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
