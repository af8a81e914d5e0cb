# The two commands of the README: `make run` and `make test`.
BUILD ?= build
STAGE := $(BUILD)/stage
export XDG_RUNTIME_DIR ?= /tmp/runtime-$(shell id -u)

.PHONY: run test bench build deps clean

run: build
	cd $(STAGE) && ./qx375-demo

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 300

bench: build
	$(BUILD)/bench/mixer_bench
	$(BUILD)/bench/onset_bench 30
	$(BUILD)/bench/song_bench

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

deps:
	@scripts/install-deps

clean:
	rm -rf $(BUILD)
