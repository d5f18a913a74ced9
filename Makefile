# Vantora v3: the README shows these targets first.
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
STANDALONE := $(BUILD_DIR)/Vantora_artefacts/Release/Standalone/Vantora v3
RENDER := $(BUILD_DIR)/tools/vantora-render

# A compiler cache keyed on paths relative to the checkout, so clean clones reuse it.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true

# CI sets VANTORA_WERROR=ON, so that a warning in our own code fails the build there.
VANTORA_WERROR ?= OFF
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTORA_WERROR=$(VANTORA_WERROR) \
               -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
# The sanitizer build uses clang (so the code is also built by a second compiler, and libFuzzer is
# available) and compiles at -O1 (a quarter faster than the release -O3; the sanitizers check the
# same), with line tables for readable reports.
SANITIZE_FLAGS := -DVANTORA_SANITIZE=ON -DVANTORA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
                  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

TSAN_DIR ?= build-tsan
TSAN_FLAGS := -DVANTORA_THREAD_SANITIZE=ON -DVANTORA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
              -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
              "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

FUZZ := $(SANITIZE_DIR)/tests/vantora_state_fuzz
FUZZ_CORPUS := $(SANITIZE_DIR)/fuzz-corpus
RUNS ?= 1000000

SECONDS ?= 600

.PHONY: all deps configure build run test fuzz soak tsan demo bench bench-render bench-editor screenshots install clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: build
	"$(STANDALONE)"

# After the tests, the state reader's robustness test runs again built by clang with AddressSanitizer
# and UndefinedBehaviorSanitizer (only that program, the fuzz target and the code they link are built
# there), and the state reader is fuzzed briefly from the seed states.
test: build format-check
	ctest --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -j 2
	@$(MAKE) --no-print-directory sanitize-build
	UBSAN_OPTIONS=print_stacktrace=1 $(SANITIZE_DIR)/tests/vantora_state_robustness
	@mkdir -p $(FUZZ_CORPUS)
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ) -runs=20000 -timeout=10 -print_final_stats=1 $(FUZZ_CORPUS) tests/fuzz/seeds

# Our sources follow .clang-format; `make format` rewrites them, the check fails on any difference.
FORMATTED := $(shell find source tests tools bench -name '*.cpp' -o -name '*.h')
.PHONY: format format-check
format:
	@clang-format -i $(FORMATTED)
format-check:
	@clang-format --dry-run -Werror $(FORMATTED)

.PHONY: sanitize-build
sanitize-build:
	@cmake -S . -B $(SANITIZE_DIR) $(CMAKE_FLAGS) $(SANITIZE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR) --target vantora_state_robustness vantora_state_fuzz

# A long fuzzing run of the state reader: `make fuzz RUNS=1000000`. New inputs gather in the corpus
# under the sanitizer tree; findings are written to the working directory as crash-*/timeout-*.
fuzz: sanitize-build
	@mkdir -p $(FUZZ_CORPUS)
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ) -runs=$(RUNS) -timeout=10 -print_final_stats=1 $(FUZZ_CORPUS) tests/fuzz/seeds

# The message and audio threads at once under ThreadSanitizer for SECONDS seconds (`make tsan SECONDS=60`).
tsan: deps
	@cmake -S . -B $(TSAN_DIR) $(CMAKE_FLAGS) $(TSAN_FLAGS) >/dev/null
	@cmake --build $(TSAN_DIR) --target vantora-thread-check
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_DIR)/tests/vantora-thread-check $(SECONDS)

# Random automation, presets, state loads and re-prepares against one processor for SECONDS seconds.
soak: configure
	@cmake --build $(BUILD_DIR) --target vantora-soak
	$(BUILD_DIR)/tests/vantora-soak $(SECONDS)

demo: build
	@mkdir -p out
	$(BUILD_DIR)/tools/vantora-demo-take out/demo-take.wav
	$(RENDER) out/demo-take.wav out/demo-render.wav

bench: build
	$(BUILD_DIR)/bench/vantora-bench

# The render tool against ffmpeg's loudness normaliser on 180 s of stereo pink noise (median of RUNS).
RUNS_RENDER ?= 5
bench-render: build
	@scripts/install-deps.sh bench
	scripts/bench-render.sh $(BUILD_DIR) $(RUNS_RENDER)

# CPU the open editor adds, quiet and loud, on a headless X server.
bench-editor: configure
	@cmake --build $(BUILD_DIR) --target vantora-editor-bench
	xvfb-run -a -s "-screen 0 1400x1000x24" $(BUILD_DIR)/bench/vantora-editor-bench 20

# The standalone application on a headless X server, clicked into each view; one PNG per view.
screenshots: configure
	@cmake --build $(BUILD_DIR) --target Vantora_Standalone vantora-capture-shots
	scripts/take-screenshots.sh "$(STANDALONE)" docs/screenshots $(BUILD_DIR)/tools/vantora-capture-shots

install: build
	mkdir -p ~/.vst3 ~/.lv2 ~/.local/bin
	rm -rf ~/.vst3/"Vantora v3.vst3" ~/.lv2/"Vantora v3.lv2"
	cp -r "$(BUILD_DIR)/Vantora_artefacts/Release/VST3/Vantora v3.vst3" ~/.vst3/
	cp -r "$(BUILD_DIR)/Vantora_artefacts/Release/LV2/Vantora v3.lv2" ~/.lv2/
	cp $(RENDER) ~/.local/bin/

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) out
