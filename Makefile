# The two commands of the project (run as root on a fresh machine):
#   make run    installs what is missing, builds everything and runs Setup.exe under Wine:
#               the wizard on your display, or a whole installation driven under Xvfb
#   make test   installs what is missing, builds all three builds and runs every test
# and some helpers:
#   make          builds everything, all three builds
#   make screenshots  every page of the wizard in both languages, as PNG files in build/screenshots
#   make format   applies .clang-format to the tree
#   make bench    builds the optimised host build and runs the benchmarks
#   make fuzz     runs every fuzz target for FUZZ_SECONDS (default 180) each

PRESETS := host win64 win32

.PHONY: all deps build run screenshots test format bench fuzz clean

FUZZ_SECONDS ?= 180

all: build

deps:
	@bash scripts/bootstrap.sh

build: deps
	@for p in $(PRESETS); do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p || exit 1; \
	done

run: build
	@bash scripts/run.sh

screenshots: build
	@bash scripts/screenshots.sh

test: deps
	@bash scripts/test.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

bench: deps
	@cmake --preset host-release >/dev/null && cmake --build --preset host-release
	@bash scripts/bench.sh

fuzz: deps
	@cmake --preset fuzz >/dev/null && cmake --build --preset fuzz
	@bash scripts/fuzz.sh $(FUZZ_SECONDS) 2

clean:
	rm -rf build
