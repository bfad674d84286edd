# Wrapper over the CMake presets. Everything builds in one optimised build with assertions on
# (build/release); the sanitizer build lives in build/asan. `run`, `play` and `disc` build only what they
# run (the game, the disc writer, the disc); `build`, `test` and `bench` build the tests and benchmarks too.
JOBS     ?= $(shell nproc)
# CMake's own make runs below this one: without this, each of its levels announces every directory.
MAKEFLAGS += --no-print-directory
BUILD    := build/release
ASAN     := build/asan
FRAMES   ?= 3600
OUT      ?= out

# Debian packages the build needs; installed with apt-get when missing (which needs root). SDL2 is
# optional (the window). `make fuzz` needs clang and its sanitizer and libFuzzer runtime besides.
REQUIRED_PKGS := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpng-dev zlib1g-dev python3
OPTIONAL_PKGS := ccache libsdl2-dev
FUZZ_PKGS     := clang libclang-rt-dev

.PHONY: all deps fuzz-deps configure build game run play test asan-test bench disc clean format format-check fuzz

all: build

# $(call install,PACKAGES): installs those not installed; stops with the command to give when not root.
define install
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "make: missing Debian packages:$$missing; install them as root: apt-get install$$missing" >&2; \
	    exit 1; \
	  fi; \
	  echo "Installing:$$missing"; \
	  (apt-get update -qq || true) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install,$(REQUIRED_PKGS))
	@opt=""; for p in $(OPTIONAL_PKGS); do dpkg -s $$p >/dev/null 2>&1 || opt="$$opt $$p"; done; \
	if [ -n "$$opt" ] && [ "$$(id -u)" != 0 ]; then \
	  echo "Optional packages not installed:$$opt (no window, no ccache); as root: apt-get install$$opt"; \
	elif [ -n "$$opt" ]; then \
	  echo "Installing optional:$$opt"; \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$opt >/dev/null 2>&1 || \
	  { (apt-get update -qq || true) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$opt >/dev/null 2>&1; } || \
	  echo "Optional packages not installed:$$opt (no window, no ccache)"; \
	fi

fuzz-deps: deps
	$(call install,$(FUZZ_PKGS))

$(BUILD)/CMakeCache.txt: | deps
	cmake --preset release

# The disc is written again when mkdisc changes (build/release/disc.written); a removed disc too.
configure: deps $(BUILD)/CMakeCache.txt
	@[ -d $(BUILD)/disc ] || rm -f $(BUILD)/disc.written

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The game and the sample disc (mkdisc writes it), nothing else.
game: configure
	cmake --build $(BUILD) -j$(JOBS) --target qz disc

disc: configure
	cmake --build $(BUILD) -j$(JOBS) --target disc

run: game
	mkdir -p $(OUT)
	$(BUILD)/qz --out $(OUT) --frames $(FRAMES) --png-every 60 --wav $(OUT)/sound.wav
	@n=$$(($(FRAMES) / 60)); seconds=$$((($$(stat -c %s $(OUT)/sound.wav) - 44) / 192000)); echo; \
	echo "In $(OUT)/ (any image viewer and sound player opens them, or a web browser: file://$(abspath $(OUT))/):"; \
	echo "  $$n frames as PNG (640x448), every 60th frame shown: frame_000060.png to $$(printf 'frame_%06d.png' $$((n * 60)))"; \
	echo "    show the title screen (\"PRESS START\") to frame 1500, then the first attract race (\"DEMO MODE\")"; \
	echo "  sound.wav: $$seconds seconds of the run's sound, 48 kHz stereo (the title shows 60 frames a second, a race 30)"

play: game
	$(BUILD)/qz --window --realtime

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

asan-test: deps
	cmake --preset asan
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j$(JOBS)

# The figures that matter as a short table; everything the benchmarks print is kept in $(BENCH_OUT).
BENCH_OUT ?= $(BUILD)/bench
bench: configure
	cmake --build $(BUILD) -j$(JOBS) --target qz_bench disc
	mkdir -p $(BENCH_OUT)
	@echo "Running the benchmarks (10 to 20 minutes, by how busy the machine is); full output: $(BENCH_OUT)/bench.txt"
	$(BUILD)/qz_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	  --benchmark_out=$(BENCH_OUT)/bench.json --benchmark_out_format=json > $(BENCH_OUT)/bench.txt 2>&1
	@python3 bench/summary.py $(BENCH_OUT)/bench.json $(BENCH_OUT)/bench.txt

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
fuzz: fuzz-deps
	cmake --preset fuzz
	cmake --build build/fuzz -j$(JOBS)
	mkdir -p $(FUZZ_CORPUS)
	build/fuzz/fuzz_seeds $(FUZZ_CORPUS)
	for f in build/fuzz/*_fuzz; do n=$$(basename $$f _fuzz); mkdir -p $(FUZZ_CORPUS)/$$n; echo "== $$f"; \
	  $$f $(FUZZ_CORPUS)/$$n -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 || exit 1; done
