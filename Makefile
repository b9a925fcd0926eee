# Thin wrapper over CMake. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
DEPS_STAMP := $(BUILD)/.deps-installed

.PHONY: all build game run test test-sanitize bench fuzz assets deps clean install uninstall deb

all: build

$(DEPS_STAMP): scripts/install-deps
	scripts/install-deps
	@mkdir -p $(BUILD) && touch $@

deps: $(DEPS_STAMP)

$(BUILD)/CMakeCache.txt: $(DEPS_STAMP) CMakeLists.txt
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only what playing needs: the game, and its data tree in $(BUILD)/data with the
# sounds generated (once; again when the generator changes). No tests.
game: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target tornello game_data

# Generates the sounds again.
assets: $(BUILD)/CMakeCache.txt
	rm -f $(BUILD)/packaging/sounds.stamp
	cmake --build $(BUILD) -j $(JOBS) --target game_data

# The game finds $(BUILD)/data beside itself, wherever it is started from.
run: game
	$(BUILD)/tornello $(ARGS)

# `make install [PREFIX=/usr/local] [DESTDIR=...]`: the game in games/, its data
# in share/games/tornello/, with the launcher, metadata, icon and manual page.
# `make uninstall` (same DESTDIR) removes what the last install listed.
PREFIX ?= /usr/local
install: game
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=$(abspath $(BUILD))/install_manifest.txt -P packaging/uninstall.cmake

# The Debian package, $(BUILD)/tornello_<version>_<arch>.deb, installing under /usr.
deb: game
	cd $(BUILD) && cpack -G DEB
	@ls -l $(BUILD)/tornello_*.deb

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole test suite again, built with the address and undefined-behaviour
# sanitizers in a tree of its own; any report fails the run. GCC leaves
# float-to-integer overflow out of "undefined", so it is named as well: a peer's
# absurd speeds and positions must never reach such a conversion. Optimised and
# with line tables only, so the build and the long end-to-end tests stay quick.
# Leaks that belong to system libraries are listed, each with its reason, in
# tests/hardening/lsan.supp.
SANITIZE_ENV := ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/hardening/lsan.supp
# The Wine tests are left out: they run the Windows build, which no sanitizer instruments.
test-sanitize: $(DEPS_STAMP)
	cmake -S . -B $(BUILD)-asan -DTORNELLO_TESTS=ON -DTORNELLO_SANITIZE=address,undefined,float-cast-overflow \
	  -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS) -E '^WineTest\.'

bench: $(DEPS_STAMP)
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTORNELLO_BENCH=ON -DTORNELLO_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	@for b in $(BUILD)-bench/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

# Each fuzz target runs FUZZ_SECONDS from its committed seed corpus (fuzz/corpus/<name>/),
# JOBS at a time; fuzz/run sums each up in one line and keeps a finding's input.
FUZZ_SECONDS ?= 60
fuzz: $(DEPS_STAMP)
	CXX=clang++-14 cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORNELLO_FUZZ=ON \
	  -DTORNELLO_TESTS=OFF -DTORNELLO_SANITIZE=address,undefined
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_targets
	fuzz/run $(BUILD)-fuzz $(FUZZ_SECONDS) $(JOBS)

# Windows, cross-compiled with mingw-w64 and linked statically: the 32-bit game
# that players download, and a 64-bit build with its tests, which `make test`
# runs under Wine (this machine runs no 32-bit code, so the 32-bit build is only
# compiled). `make dist-windows` zips the 32-bit game with the data tree.
WINDOWS_BUILD ?= $(BUILD)-windows
# -O2: the game needs no more, and GCC 12 at -O3 reports false -Wrestrict
# overlaps in the standard library's string concatenation.
WINDOWS_FLAGS := -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
.PHONY: windows windows-i686 windows-x86_64 dist-windows
windows: windows-i686 windows-x86_64
windows-i686: $(DEPS_STAMP)
	cmake -S . -B $(WINDOWS_BUILD)/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  $(WINDOWS_FLAGS) -DTORNELLO_TESTS=OFF
	cmake --build $(WINDOWS_BUILD)/i686 -j $(JOBS) --target tornello
	@ls -l $(WINDOWS_BUILD)/i686/tornello.exe
# The build the Wine tests run; CI makes only this one to keep its time down.
windows-x86_64: $(DEPS_STAMP)
	cmake -S . -B $(WINDOWS_BUILD)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  $(WINDOWS_FLAGS) -DTORNELLO_TESTS=ON
	cmake --build $(WINDOWS_BUILD)/x86_64 -j $(JOBS) --target tornello win32_tests

# The data tree and its sounds come from the Linux build; the players' README.txt
# gets Windows line ends.
dist-windows: windows-i686 game
	rm -rf $(WINDOWS_BUILD)/dist $(WINDOWS_BUILD)/tornello-windows.zip
	mkdir -p $(WINDOWS_BUILD)/dist/Tornello
	cp $(WINDOWS_BUILD)/i686/tornello.exe $(WINDOWS_BUILD)/dist/Tornello/Tornello.exe
	cp -rL $(BUILD)/data/lang $(BUILD)/data/Menu $(BUILD)/data/Sounds $(WINDOWS_BUILD)/dist/Tornello/
	cp data/README.md $(WINDOWS_BUILD)/dist/Tornello/README-data.md
	sed 's/$$/\r/' packaging/README-windows.txt > $(WINDOWS_BUILD)/dist/Tornello/README.txt
	cd $(WINDOWS_BUILD)/dist && zip -qr ../tornello-windows.zip Tornello
	@ls -l $(WINDOWS_BUILD)/tornello-windows.zip

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-asan
