# The two commands of the README, `make run` and `make test`, and
# `make package`, the Debian package.
BUILD ?= build
# Seconds each fuzz harness runs in `make fuzz`.
FUZZ_SECONDS ?= 60
export FUZZ_SECONDS
export XDG_RUNTIME_DIR ?= /tmp/runtime-$(shell id -u)

# `make check`: the whole suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the tests of the threaded layers (platform,
# sound, engine) with ThreadSanitizer; the window's tests stay out of that
# one, as the Qt libraries are not built for it. Any report, a leak
# included, fails its test.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
TSAN_TESTS := platform_tests sound_tests engine_tests
space := $() $()
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

.PHONY: run test check bench package fuzz build deps clean runtime-dir

# Starts the program the way an installed copy starts: through the same
# launcher, with the stage ($(BUILD)/stage) as the installed data. Its
# program directory is $(BUILD)/run rather than ~/.local/share/qx375, so that
# a developer's settings and songs stay apart from an installed copy's; delete
# it to start again as on a first start.
run: build runtime-dir
	QX375_HOME="$(abspath $(BUILD))/run" $(BUILD)/launcher/qx375

test: build runtime-dir
	cd $(BUILD) && ctest --output-on-failure --timeout 300

check: deps runtime-dir $(ASAN_BUILD)/build.ninja $(TSAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure --timeout 600
	cmake --build $(TSAN_BUILD) --target $(TSAN_TESTS)
	cd $(TSAN_BUILD) && $(TSAN_ENV) ctest --output-on-failure --timeout 600 \
		-L '^($(subst $(space),|,$(TSAN_TESTS)))$$'

# Every benchmark of bench/, on a Release build of its own, in one table.
bench: deps runtime-dir
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-release
	bench/all.sh build-release

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

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQX375_SANITIZE=address,undefined,float-cast-overflow

$(TSAN_BUILD)/build.ninja:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX375_SANITIZE=thread

deps:
	@scripts/install-deps

# Qt wants a private runtime directory for its sockets.
runtime-dir:
	@mkdir -p -m 0700 $(XDG_RUNTIME_DIR)

clean:
	rm -rf $(BUILD) build-release build-fuzz $(ASAN_BUILD) $(TSAN_BUILD)
