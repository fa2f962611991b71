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
#   make package  the Debian package of stp, the setup stub and the uninstaller, and a zip of
#                 the same for Windows publishers with stp.exe (build/package)
#   make package-test  installs that package into a clean Debian 12 root and makes a Setup.exe there

PRESETS := host win64 win32

.PHONY: all deps build run screenshots test format bench fuzz package package-test clean

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

# The stub and the uninstaller come from the shipping (win32) build, which
# needs the host build's stp to pack its sample.
package: deps
	@cmake --preset host >/dev/null && cmake --build --preset host --target stp
	@cmake --preset win32 >/dev/null && cmake --build --preset win32 --target SetupStub Uninst Drawlet
	@cmake --preset package >/dev/null && cmake --build --preset package --target stp stp_man stp_example
	@cd build/package && cpack --config DebPackage.cmake
	@cmake --preset win64 >/dev/null && cmake --build --preset win64 --target stp
	@bash scripts/package-zip.sh

package-test: package
	@bash scripts/package-test.sh

clean:
	rm -rf build
