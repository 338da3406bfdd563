# The two everyday commands: `make run` and `make test`. Both install what is missing first.
# `make portable` builds the disc kit (build/portable/disc-kit/), `make portable-test` tests it.
PRESET ?= default
BUILD  := build/$(PRESET)
# What `make run` builds: the launcher (its resources compiled in), the virtual drive and the demo
# titles' AutoPlay program (scripts/run-demo lays out the demo disc). Everything else (tools,
# tests, fuzz replayers, benchmarks) is for `make test`.
DEMO_TARGETS := talvesk talvesk-drive talvesk-demo-title

.PHONY: deps configure build build-demo run test asan-test portable portable-test bench fuzz clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

build-demo: configure
	@cmake --build --preset $(PRESET) --target $(DEMO_TARGETS)

run: build-demo
	@scripts/run-demo $(BUILD)

test: build
	@ctest --preset $(PRESET)

asan-test:
	@$(MAKE) --no-print-directory test PRESET=asan

portable: deps
	@cmake --preset portable >/dev/null
	@cmake --build --preset portable

portable-test: portable
	@ctest --preset portable

bench:
	@$(MAKE) --no-print-directory build PRESET=release
	@scripts/run-bench build/release

fuzz:
	@scripts/run-fuzz

clean:
	rm -rf build
