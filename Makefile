# Wrapper over the CMake presets. Everything builds in one optimised build with assertions on
# (build/release); the sanitizer build lives in build/asan.
JOBS     ?= $(shell nproc)
BUILD    := build/release
ASAN     := build/asan
FRAMES   ?= 3600
OUT      ?= out

# Debian packages the build needs; installed when missing. SDL2 is optional (the window).
REQUIRED_PKGS := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpng-dev zlib1g-dev
OPTIONAL_PKGS := ccache libsdl2-dev

.PHONY: all deps build run play test asan-test bench disc clean format format-check fuzz

all: build

deps:
	@missing=""; for p in $(REQUIRED_PKGS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  (apt-get update -qq || true) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi; \
	opt=""; for p in $(OPTIONAL_PKGS); do dpkg -s $$p >/dev/null 2>&1 || opt="$$opt $$p"; done; \
	if [ -n "$$opt" ]; then \
	  echo "Installing optional:$$opt"; \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$opt >/dev/null 2>&1 || \
	  { (apt-get update -qq || true) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$opt >/dev/null 2>&1; } || \
	  echo "Optional packages not installed:$$opt (no window, no ccache)"; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake --preset release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

disc: build

run: build
	mkdir -p $(OUT)
	$(BUILD)/qz --out $(OUT) --frames $(FRAMES) --png-every 60 --wav $(OUT)/sound.wav
	@echo "Frames and sound are in $(OUT)/"

play: build
	$(BUILD)/qz --window --realtime

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

asan-test: deps
	cmake --preset asan
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j$(JOBS)

bench: build
	$(BUILD)/qz_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

clean:
	rm -rf build out

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a tracked source file differs from .clang-format.
format-check:
	@command -v clang-format >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# Builds every libFuzzer target with clang (ASan and UBSan), writes the seed corpus the disc's writers
# produce (build/fuzz/corpus/<target>), and runs each target from it for FUZZ_SECONDS.
FUZZ_SECONDS ?= 20
FUZZ_CORPUS  := build/fuzz/corpus
fuzz: deps
	cmake --preset fuzz
	cmake --build build/fuzz -j$(JOBS)
	mkdir -p $(FUZZ_CORPUS)
	build/fuzz/fuzz_seeds $(FUZZ_CORPUS)
	for f in build/fuzz/*_fuzz; do n=$$(basename $$f _fuzz); mkdir -p $(FUZZ_CORPUS)/$$n; echo "== $$f"; \
	  $$f $(FUZZ_CORPUS)/$$n -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 || exit 1; done
