# Thin wrapper over CMake. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
DEPS_STAMP := $(BUILD)/.deps-installed

.PHONY: all build run test bench assets deps clean

all: build

$(DEPS_STAMP): scripts/install-deps
	scripts/install-deps
	@mkdir -p $(BUILD) && touch $@

deps: $(DEPS_STAMP)

$(BUILD)/CMakeCache.txt: $(DEPS_STAMP) CMakeLists.txt
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The sound tree is generated once; `make assets` makes it again.
data/.assets-stamp:
	$(MAKE) assets

assets: build
	@if [ -x tools/generate-assets ]; then tools/generate-assets data && touch data/.assets-stamp; \
	else echo "No sound generator yet: the game runs silent."; fi

run: build
	@[ -f data/.assets-stamp ] || $(MAKE) --no-print-directory assets
	cd data && ../$(BUILD)/tornello $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: $(DEPS_STAMP)
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTORNELLO_BENCH=ON -DTORNELLO_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

clean:
	rm -rf $(BUILD) $(BUILD)-bench
