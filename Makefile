# The two commands of the README:
#   make run    install what is missing, build into build/, start build/quillon
#   make test   install what is missing, build, run every test through ctest
# FULLXM=1 (make run FULLXM=1) builds the program with the full Extended
# Module player instead of the small one.
BUILD := build
JOBS := $(shell nproc)

# Debian packages the build needs, and those the tests need on top.
BUILD_PACKAGES := cmake g++ make pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev
TEST_PACKAGES := clang libclang-rt-14-dev xvfb xauth xdotool x11-utils imagemagick libxmp-dev sox

.PHONY: run test build configure build-deps test-deps compare-songs

# The program ends with 1 after the ordinary end (left button), so make
# must not take that for a failure.
run: build-deps configure
	cmake --build $(BUILD) --target quillon -j$(JOBS)
	./$(BUILD)/quillon || test $$? -eq 1

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)

build: build-deps configure
	cmake --build $(BUILD) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DQUILLON_WERROR=ON) \
	      -DQUILLON_FULL_XM=$(if $(FULLXM),ON,OFF)

build-deps:
	@./tools/install-packages $(BUILD_PACKAGES)

test-deps:
	@./tools/install-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)

# The full player against libxmp and libopenmpt on songs from Debian's free
# game packages (fetched into ~/.cache/quillon-xm); not part of `make test`.
compare-songs: build
	@./tools/install-packages xmp openmpt123
	tests/music_full/real-songs.sh $(BUILD)
