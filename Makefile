# make test            install what is missing, configure, build, run every test
# make test SANITIZE=1 the same with address and undefined-behaviour sanitizers
# make test TSAN=1     the same with the thread sanitizer
# make demo            run the host tool on the embedded default database

SANITIZE ?= 0
TSAN ?= 0
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DZQK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else ifeq ($(TSAN),1)
BUILD_DIR ?= build-tsan
CMAKE_FLAGS += -DZQK_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
else
BUILD_DIR ?= build
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test demo install clean fuzz

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@$(BUILD_DIR)/tools/zqk/zqk demo

install: build
	@cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

# Each fuzz target under libFuzzer for FUZZ_SECONDS, starting from its seed corpus.
fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DZQK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_archive fuzz_connection_string fuzz_variant_coercion fuzz_sqlserver_bridge fuzz_safearray_variant
	@for t in archive:archive connection_string:connection variant_coercion:variant sqlserver_bridge:bridge \
	  safearray_variant:safearray; do \
	  name=$${t%%:*}; corpus=$${t##*:}; mkdir -p build-fuzz/corpus/$$corpus; \
	  build-fuzz/fuzz/fuzz_$$name -max_total_time=$(FUZZ_SECONDS) build-fuzz/corpus/$$corpus fuzz/corpus/$$corpus || exit 1; \
	done

clean:
	@rm -rf build build-sanitize build-tsan build-fuzz
