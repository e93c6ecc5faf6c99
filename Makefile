# make run   installs what is missing, builds, starts the console on the demo catalogue
# make test  installs what is missing, builds, runs every test
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps build run test bench fuzz clean

all: build

deps:
	@bash scripts/deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/deps.sh --run
	bash scripts/run-demo.sh $(BUILD)/bin

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/sarvelon-bench

fuzz:
	@bash scripts/deps.sh --fuzz
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSARVELON_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS) --target fuzz_status_reply
	@echo "run: build-fuzz/bin/fuzz_status_reply -max_total_time=300"

clean:
	rm -rf $(BUILD) build-fuzz
