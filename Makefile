# Thin wrapper around CMake. Outputs go to build/.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all run test bench clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: all
	$(BUILD)/shef2raw examples/sample.shef

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVYR_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
