# Thin wrapper around CMake. Outputs go to build/.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all run test bench clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Builds the converter alone and converts the bundled dated example with the
# bundled configuration: the raw file is named after the example's date,
# under $(BUILD)/raw, never in the source tree.
run:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target shef2raw
	$(BUILD)/shef2raw -df etc -fp etc -rp $(BUILD)/raw ./examples/2026120712.shef
	cat $(BUILD)/raw/2026120712.raw

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVYR_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
