# Thin wrapper around CMake. Outputs go to build/.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all run test bench clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Builds the converter and the poster alone and runs them on the bundled
# dated example with the bundled configuration: the raw file is named after
# the example's date, under $(BUILD)/raw; the example is posted into the
# SQLite database $(BUILD)/shef.db (the shef_db convention) and its latest
# values read back with sqlite3. Nothing is written in the source tree.
run:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target shef2raw shef2db
	$(BUILD)/shef2raw -df etc -fp etc -rp $(BUILD)/raw ./examples/2026120712.shef
	cat $(BUILD)/raw/2026120712.raw
	$(BUILD)/shef2db -df etc -fp etc -rp $(BUILD) ./examples/2026120712.shef
	sqlite3 -header $(BUILD)/shef.db "SELECT station, pe, extremum, obs_time, value \
	  FROM latest_observed WHERE station = 'MRYK1'"

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVYR_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
