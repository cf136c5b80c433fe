# The two commands of the README:
#   make run    install what is missing, build into build/, start build/quillon
#   make test   install what is missing, build, run every test through ctest
# and for a person's own presentation (docs/own-presentation.md):
#   make preview   build the content and write pictures of it to preview/
#   make package   the Debian package (build/quillon_*.deb)
# Each names its content with TEXT=, SONG=, ANI=, FONT=, FPS=, ICON= (paths
# taken from where make runs); what is not named is the built-in content.
BUILD := build
JOBS := $(shell nproc)

# Debian packages the build needs, and those the tests need on top.
BUILD_PACKAGES := cmake g++ make pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev \
                  dpkg-dev file
TEST_PACKAGES := clang libclang-rt-14-dev xvfb xauth xdotool x11-utils imagemagick libxmp-dev sox \
                 desktop-file-utils man-db

CONTENT := TEXT SONG ANI FONT FPS ICON
CONTENT_FLAGS := $(foreach v,$(CONTENT),-DQUILLON_$(v)=$(if $($(v)),$(abspath $($(v)))))
PREVIEW := preview

.PHONY: run test build configure build-deps test-deps preview package

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
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CI),-DQUILLON_WERROR=ON) $(CONTENT_FLAGS)

# Pictures of the pages and animation frames as built, before the program is.
preview: build-deps configure
	cmake --build $(BUILD) --target snapshot -j$(JOBS)
	./$(BUILD)/tools/snapshot $(PREVIEW)
	@echo "Pictures of the presentation are in $(PREVIEW)/"

package: build-deps configure
	cmake --build $(BUILD) --target quillon_programs -j$(JOBS)
	cd $(BUILD) && cpack -G DEB

build-deps:
	@./tools/install-packages $(BUILD_PACKAGES)

test-deps:
	@./tools/install-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)
