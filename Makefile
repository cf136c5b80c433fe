# The commands of the README:
#   make run        install what is missing, build into build/, start build/quillon
#   make test       install what is missing, build, run every test through ctest
#   make web        the browser build: build-web/quillon.html (one file that plays anywhere), and
#                   the same as build-web/quillon-web/ and build-web/quillon-web.zip; and
#                   build-web/quillon-maker.html, where a person makes their own presentation
#   make serve-web  serve that folder on 127.0.0.1
#   make windows    the Windows program, cross-built for 32-bit Windows into build-windows/
#                   (quillon.exe, tools/xmrender.exe, tools/xmcheck.exe, quillon-windows-x86.zip)
#                   and for 64-bit Windows into build-windows-x64/ (the same without the zip)
#   make run-windows  the 32-bit quillon.exe under Wine, on a virtual desktop of 640x480
# and for a person's own presentation (docs/own-presentation.md):
#   make preview    build the content and write pictures of it to preview/
#   make package    the Debian package (build/quillon_*.deb)
# Each names its content with TEXT=, SONG=, ANI=, FONT=, FPS=, ICON= (paths
# taken from where make runs); what is not named is the built-in content.
# FULLXM=1 (make run FULLXM=1, make web FULLXM=1, make windows FULLXM=1) builds the program with the
# full Extended Module player instead of the small one.
BUILD := build
WEB_BUILD := build-web
WINDOWS_BUILD := build-windows
WINDOWS64_BUILD := build-windows-x64
JOBS := $(shell nproc)

# Debian packages the build needs, and those the tests need on top.
BUILD_PACKAGES := cmake g++ make pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev \
                  dpkg-dev file
TEST_PACKAGES := python3 git clang-format clang libclang-rt-14-dev xvfb xauth xdotool x11-utils imagemagick libxmp-dev sox chromium \
                 desktop-file-utils man-db ffmpeg
# The browser build: Emscripten (with its clang and node), zip for the
# archive; the two browsers its tests drive, and a PulseAudio server for
# Firefox's sound there; for zlib's and libpng's Debian sources (the maker's
# tools), the archive's keyring and the unpackers dpkg-source calls (dpkg-dev
# is in BUILD_PACKAGES). npm packages come from platform/web/package-lock.json.
WEB_PACKAGES := emscripten nodejs zip chromium firefox-esr pulseaudio debian-archive-keyring bzip2 xz-utils
# Debian's Emscripten needs its node modules (acorn...) found by name.
WEB_ENV := NODE_PATH=/usr/share/nodejs
NPM_DIR := $(WEB_BUILD)/npm
# The Windows build (MinGW-w64 with posix threads for 32 and 64 bits,
# GoogleTest's sources) and what its tests run on (Wine, with wine32 from
# Debian's i386 architecture for the 32-bit exe, see windows-deps; a
# PulseAudio server to record from; wrestool to read the exe's resources).
WINDOWS_PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
WINDOWS_TEST_PACKAGES := wine wine64 pulseaudio pulseaudio-utils xvfb xdotool imagemagick icoutils
# What the Windows build takes from build/: the built content, and the Linux
# references its tests compare with.
WINDOWS_HOST_TARGETS := quillon_resources quillon_song_check quillon_icon snapshot xmrender wavmatch

# The mutation run is not part of `make test`: it puts small faults into
# the program and its tools (music/, music/full/, display/, app/, capture/,
# tools/content/, tools/song/ and platform/'s shared code and headless
# backend) one at a time, into two copies of the tree under build-mutants/
# (the tree itself is never touched), rebuilds that folder's fast tests and
# lists every fault that no test noticed. Each folder has a seeded sample of
# 50; the whole set of 400 takes about an hour and a half on two cores (the
# first build of both copies included; a capture mutant takes about a
# minute, the others 5 to 30 s); no new mutant starts once two hours have
# passed after the copies were built.
# MUTANTS_FOLDERS runs some folders alone, e.g.
# `make mutants MUTANTS_FOLDERS=capture`; MUTANTS_ARGS chooses the rest (see
# tests/mutation/mutants.py --help), e.g.
#   make mutants MUTANTS_ARGS="--budget 10 music/effects.cpp"
MUTANTS_FOLDERS ?=
MUTANTS_ARGS ?= --sample 50 --seed 13 --workers 2 --budget 120 $(MUTANTS_FOLDERS)
MUTANT_PACKAGES := python3 libxmp-dev

CONTENT := TEXT SONG ANI FONT FPS ICON
CONTENT_FLAGS := $(foreach v,$(CONTENT),-DQUILLON_$(v)=$(if $($(v)),$(abspath $($(v)))))
# A named content file that is not there is said once, in one line, before
# anything is configured.
$(foreach v,$(CONTENT),$(if $($(v)),$(if $(wildcard $($(v))),,$(error $(v)=$($(v)): no such file))))
# The tools that play or show what the program would: each follows the
# build's player (FULLXM), so every target that configures rebuilds them
# with the program, whichever target ran last.
PLAYER_TOOLS := xmcheck xmrender snapshot quillon-capture
# Progress and errors only: no "Entering directory" lines from the build's
# own make runs.
MAKEFLAGS += --no-print-directory
PREVIEW := preview
FULLXM_FLAG := -DQUILLON_FULL_XM=$(if $(FULLXM),ON,OFF)

.PHONY: run test build configure build-deps test-deps web serve-web web-deps preview package windows windows-deps \
        run-windows compare-songs compare-renders bench-vs-libxmp capture mutants

# The program ends with 1 after the ordinary end (left button), so make
# must not take that for a failure.
run: build-deps configure
	cmake --build $(BUILD) --target quillon $(PLAYER_TOOLS) -j$(JOBS)
	./$(BUILD)/quillon || test $$? -eq 1

test: test-deps build web windows
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)
	cd $(WINDOWS64_BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)
	@if $(RUNS_32BIT); then cd $(WINDOWS_BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS); \
	else echo "This machine runs no 32-bit programs, so neither does its Wine: of the 32-bit tree only the"; \
	     echo "checks of the exe file run."; \
	     cd $(WINDOWS_BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS) -L exe-file; fi

# A video of the presentation's tour, quillon.mp4 (options: quillon-capture --help).
capture: build-deps configure
	@./tools/install-packages ffmpeg
	cmake --build $(BUILD) --target $(PLAYER_TOOLS) -j$(JOBS)
	./$(BUILD)/quillon-capture quillon.mp4

build: build-deps configure
	cmake --build $(BUILD) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DQUILLON_WERROR=ON) $(CONTENT_FLAGS) \
	      $(FULLXM_FLAG)

# Pictures of the pages and animation frames as built, before the program is.
# The old pictures go first, so a failed build leaves none that look new.
preview: build-deps
	rm -rf $(PREVIEW)
	$(MAKE) configure
	cmake --build $(BUILD) --target $(PLAYER_TOOLS) -j$(JOBS)
	./$(BUILD)/tools/snapshot $(PREVIEW)
	@echo "Pictures of the presentation are in $(PREVIEW)/"

package: build-deps configure
	cmake --build $(BUILD) --target quillon_programs $(PLAYER_TOOLS) -j$(JOBS)
	cd $(BUILD) && cpack -G DEB

build-deps:
	@./tools/install-packages $(BUILD_PACKAGES)

test-deps:
	@./tools/install-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)

web-deps:
	@./tools/install-packages $(BUILD_PACKAGES) $(WEB_PACKAGES)

# Whether the kernel runs 32-bit x86 programs (some virtual machines do
# not), which Wine's 32-bit half is.
RUNS_32BIT := /lib/ld-linux.so.2 --version >/dev/null 2>&1
# wine32 comes from Debian's i386 architecture, added once (as root). It is
# asked for only where 32-bit programs run; apt may still bring it in with
# wine elsewhere, where its loader cannot start, so tests/windows/wine-run
# calls the 64-bit loader itself there.
windows-deps:
	@dpkg --print-foreign-architectures | grep -qx i386 || \
	  if [ "$$(id -u)" -eq 0 ]; then dpkg --add-architecture i386; \
	  else echo "Run: sudo dpkg --add-architecture i386"; exit 1; fi
	@./tools/install-packages $(BUILD_PACKAGES) $(WINDOWS_PACKAGES) $(WINDOWS_TEST_PACKAGES) libc6:i386
	@if $(RUNS_32BIT); then ./tools/install-packages wine32:i386; fi

# The content is built by the host's tools in build/ (with TEXT=, SONG=, ...
# as for make run), then each Windows tree compiles it into its quillon.exe.
# The toolchain file counts only when a tree is first configured; CMake
# would call it unused on every later run.
WINDOWS_FLAGS = --no-warn-unused-cli -DQUILLON_HOST_BUILD=$(abspath $(BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(FULLXM_FLAG) \
                $(if $(CI),-DQUILLON_WERROR=ON)
windows: windows-deps configure
	cmake --build $(BUILD) --target $(WINDOWS_HOST_TARGETS) -j$(JOBS)
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake $(WINDOWS_FLAGS) >/dev/null
	cmake --build $(WINDOWS_BUILD) -j$(JOBS)
	cmake -S . -B $(WINDOWS64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(WINDOWS_FLAGS) >/dev/null
	cmake --build $(WINDOWS64_BUILD) -j$(JOBS)
	@echo "The Windows program: $(WINDOWS_BUILD)/quillon.exe for every Windows, in $(WINDOWS_BUILD)/quillon-windows-x86.zip;"
	@echo "the 64-bit one: $(WINDOWS64_BUILD)/quillon.exe"

# The program ends with 1 after the ordinary end (left button), so make
# must not take that for a failure. A prefix of its own (build-windows/run/), made
# as the tests make theirs: a virtual desktop of 640x480 and the GDI renderer.
run-windows: windows
	@exe=$(WINDOWS_BUILD)/quillon.exe; \
	if ! $(RUNS_32BIT); then exe=$(WINDOWS64_BUILD)/quillon.exe; \
	  echo "This machine runs no 32-bit programs: starting the 64-bit quillon.exe."; fi; \
	echo "Under Wine the screen stays black for 30 to 60 s before page 1: the start's 500000 message"; \
	echo "passes each ask the Wine server (on Windows they take well under a second)."; \
	tests/windows/wine-run $(WINDOWS_BUILD)/run "$$exe" || test $$? -eq 1

# The npm packages (the tests' browser driver), again only when the lock
# file has changed.
$(NPM_DIR)/node_modules/.package-lock.json: platform/web/package.json platform/web/package-lock.json
	mkdir -p $(NPM_DIR)
	cp platform/web/package.json platform/web/package-lock.json $(NPM_DIR)/
	cd $(NPM_DIR) && npm ci --no-audit --no-fund

# The resources are built by the host's tools in build/, then the browser
# tree compiles them with everything else.
web: web-deps configure $(NPM_DIR)/node_modules/.package-lock.json
	cmake --build $(BUILD) --target quillon_resources quillon_song_check -j$(JOBS)
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DQUILLON_HOST_BUILD=$(abspath $(BUILD)) $(FULLXM_FLAG) $(if $(CI),-DQUILLON_WERROR=ON) >/dev/null
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j$(JOBS)
	@echo "The web page: $(WEB_BUILD)/quillon.html (one file: open it, or put it anywhere)"
	@echo "The same as files: $(WEB_BUILD)/quillon-web/ (and $(WEB_BUILD)/quillon-web.zip)"
	@echo "The maker page: $(WEB_BUILD)/quillon-maker.html (one file: a person makes their own presentation in it)"

# make serve-web WEB_PORT=N for another port (0: any free one).
WEB_PORT := 8000
serve-web: web
	node platform/web/serve.cjs $(WEB_BUILD)/quillon-web --port $(WEB_PORT)

# The full player against libxmp and libopenmpt on songs from Debian's free
# game packages (fetched into ~/.cache/quillon-xm); not part of `make test`.
compare-songs: build
	@./tools/install-packages xmp openmpt123
	tests/music/full/real-songs.sh $(BUILD)

# Both players' output, to the sample, against the digests recorded in
# tests/music/render-digests.txt: the built-in song, ../shared/xm and every
# song compare-songs fetches (ctest's music_render_digests covers the first
# two). Any change to the sound of either player fails here.
compare-renders: build-deps configure
	cmake --build $(BUILD) --target xmrender songc -j$(JOBS)
	FETCH_ONLY=1 tests/music/full/real-songs.sh $(BUILD)
	sh tests/music/render-digests.sh $(BUILD)
	sh tests/music/render-digests.sh $(BUILD) $$HOME/.cache/quillon-xm/songs/*.xm

# Both players' render throughput against libxmp's (linear interpolation, the
# same rate), as a table with the worst ratio: whole processes to /dev/null,
# CPU time, alternating, and the in-process benchmark. It fetches the songs
# of compare-songs first when they are not there; not part of `make test`.
# BENCH_ARGS passes options (bench/music/vs_libxmp.py --help), e.g.
#   make bench-vs-libxmp BENCH_ARGS="--rounds 9 --seconds 600"
BENCH_ARGS ?=
bench-vs-libxmp: build-deps configure
	@./tools/install-packages xmp libxmp-dev python3
	cmake --build $(BUILD) --target xmrender songc music_full_bench -j$(JOBS)
	FETCH_ONLY=1 tests/music/full/real-songs.sh $(BUILD)
	python3 bench/music/vs_libxmp.py --build $(BUILD) $(BENCH_ARGS)

mutants:
	@./tools/install-packages $(BUILD_PACKAGES) $(MUTANT_PACKAGES)
	python3 tests/mutation/mutants.py --build build-mutants $(MUTANTS_ARGS)
