# The two set-up commands of the README, and their friends.
#   make test   install missing Debian packages, build, run every test
#   make run    build and start the app; without a display, the headless demo
#   make bench  build and run the benchmarks
#   make package  build the Debian package (build/backbeacon_<version>_<arch>.deb)
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: deps configure build test run bench package format format-check fuzz clean

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# In a desktop session the app itself; anywhere else a demo on a private
# desktop that ends by itself and leaves its screenshots and report in
# $(BUILD)/demo/.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  exec $(BUILD)/src/app/backbeacon; \
	else \
	  exec scripts/demo.sh $(BUILD); \
	fi

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target run_benchmarks

# Only what goes into the package is built for it.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target package_contents
	cd $(BUILD) && cpack

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# libFuzzer targets: replay the committed corpus, then fuzz each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30
fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
