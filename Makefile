# The two commands of the README, `make run` and `make test`, and
# `make package`, the Debian package.
BUILD ?= build
# Seconds each fuzz harness runs in `make fuzz`.
FUZZ_SECONDS ?= 60
export FUZZ_SECONDS
export XDG_RUNTIME_DIR ?= /tmp/runtime-$(shell id -u)

.PHONY: run test bench package fuzz build deps clean runtime-dir

# Starts the program the way an installed copy starts: through the same
# launcher, with the stage ($(BUILD)/stage) as the installed data. Its
# program directory is $(BUILD)/run rather than ~/.local/share/qx375, so that
# a developer's settings and songs stay apart from an installed copy's; delete
# it to start again as on a first start.
run: build runtime-dir
	QX375_HOME="$(abspath $(BUILD))/run" $(BUILD)/launcher/qx375

test: build runtime-dir
	cd $(BUILD) && ctest --output-on-failure --timeout 300

bench: build runtime-dir
	$(BUILD)/bench/mixer_bench
	$(BUILD)/bench/onset_bench 30
	$(BUILD)/bench/song_bench
	$(BUILD)/bench/recorder_bench
	$(BUILD)/bench/ui_bench
	$(BUILD)/bench/timing_check 30

# $(BUILD)/package/qx375_<version>_<architecture>.deb
package: build
	cmake --build $(BUILD) --target package

# Builds the fuzz harnesses with clang in build-fuzz/ and runs each for
# FUZZ_SECONDS (scripts/fuzz).
fuzz:
	@scripts/fuzz

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

deps:
	@scripts/install-deps

# Qt wants a private runtime directory for its sockets.
runtime-dir:
	@mkdir -p -m 0700 $(XDG_RUNTIME_DIR)

clean:
	rm -rf $(BUILD)
