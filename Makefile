# Zolvex Video Studio — top-level commands.
#   make test          install what is missing, build, run every test (plain and sanitized)
#   make bench         build and run the benchmarks
#   make run           make the demo project and render it into a DVD movie (out/Demo.mpg);
#                      with a display, then open the studio on it
#   make studio        build and start the studio
#   make install       install under PREFIX (default /usr/local); make package: a .deb
#   make bench-render  render the demo and a minute of footage (default, full motion) beside two ffmpeg anchors
#   make gallery       write PNG contact sheets of effects and transitions to out/gallery
#   make regen-golden  rewrite the golden checksums under tests/ref on purpose
#   make fuzz          build the ".arf" and project reader fuzzers with clang and run each a million times

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan test test-plain test-asan bench bench-render run gallery regen-golden clean \
  studio install package

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" \
	  -DZOLVEX_SANITIZE=ON -DZOLVEX_BUILD_TOOLS=OFF $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# ZOLVEX_REQUIRE_MEDIA=1: a test whose media the ffmpeg command cannot make fails
# here instead of being skipped, so a machine without ffmpeg never passes the run.
test-plain: build
	ZOLVEX_REQUIRE_MEDIA=1 ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The full unwinding of allocations lets a leak be told by where it was made (see
# tests/lsan.supp): the frames of a library loading are not seen otherwise.
test-asan: build-asan
	ZOLVEX_REQUIRE_MEDIA=1 ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0:malloc_context_size=12 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test: test-plain test-asan

BENCH_FLAGS ?= --benchmark_min_time=0.2 --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

bench: build
	$(BUILD)/bench/bench_effects $(BENCH_FLAGS)
	$(BUILD)/bench/bench_transitions $(BENCH_FLAGS)
	$(BUILD)/bench/bench_compositing $(BENCH_FLAGS)
	$(BUILD)/bench/bench_media
	$(BUILD)/bench/bench_pictures --benchmark_filter='/1/'
	$(BUILD)/bench/bench_pictures --benchmark_filter='/4/'
	$(BUILD)/bench/bench_animation $(BENCH_FLAGS)
	$(BUILD)/bench/bench_text $(BENCH_FLAGS)
	$(BUILD)/bench/bench_mixer
	$(BUILD)/bench/bench_renderer
	$(BUILD)/bench/bench_encoder
	$(BUILD)/bench/bench_library
	$(BUILD)/bench/bench_edit
	$(BUILD)/bench/bench_preview
	$(BUILD)/bench/bench_maker
	$(BUILD)/bench/bench_recorder
	$(BUILD)/bench/bench_timeline $(BENCH_FLAGS)
	scripts/bench-studio $(BUILD)

gallery: build
	$(BUILD)/tools/zolvex-gallery out/gallery

# The main job: make the demo project from generated media, then render it into a
# DVD movie with the headless renderer. Needs neither a display nor a sound card.
DEMO := out/demo
MOVIE := out/Demo.mpg

run: build
	$(BUILD)/tools/zolvex-demo $(DEMO)
	$(BUILD)/tools/zolvex-render/zolvex-render $(DEMO)/Data/Demo/Demo.mpf -o $(MOVIE) --format DVD_PAL --overwrite
	@echo "Movie: $(abspath $(MOVIE)), $$(stat -c %s $(MOVIE)) bytes, \
	$$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 $(MOVIE)) s"
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
	  echo "Opening the studio on the demo project"; \
	  ZOLVEX_DATA_DIR=$(abspath $(DEMO))/Data $(STUDIO) Demo; \
	else \
	  echo "No display here. To see the demo in the studio, on a desktop run:"; \
	  echo "  ZOLVEX_DATA_DIR=$(abspath $(DEMO))/Data $(abspath $(STUDIO)) Demo"; \
	fi

# The studio, on its own data folder (beside the program in the build).
STUDIO := $(BUILD)/studio/zolvex-studio
studio: build
	$(STUDIO)

# Installs the programs, the library, the help and the desktop files under PREFIX.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same, in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

# The demo and a minute of detailed PAL footage rendered to DVD, with the default
# rule and in full motion, beside two anchors measured in the same run: the ffmpeg
# command doing the footage project's work (the peer) and the ffmpeg command
# decoding and encoding the footage without filtering (the limit); peak memory too.
bench-render: build
	scripts/bench-render $(BUILD) $(DEMO)

# Only the golden suites run: the programs labelled "golden", filtered to their
# *Golden suites, so nothing but the files under tests/ref is rewritten.
regen-golden: build
	ZOLVEX_UPDATE_REFS=1 GTEST_FILTER='*Golden.*' ctest --test-dir $(BUILD) --output-on-failure -L golden

# libFuzzer needs clang; the fuzzer gets its own build folder and corpus, and fails
# the target when it finds a crash, a leak or a disagreement (inputs under crashes/),
# or when a target's coverage stays below its floor (scripts/fuzz-run): a reader
# built without the fuzzer's instrumentation would otherwise run blind and pass.
FUZZ_BUILD := build-fuzz
FUZZ_RUNS ?= 1000000
FUZZ_SECONDS ?= 0
FUZZ_FLAGS = -runs=$(FUZZ_RUNS) -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
  -artifact_prefix=$(FUZZ_BUILD)/crashes/

.PHONY: fuzz
fuzz:
	@scripts/install-deps fuzz
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	rm -rf $(FUZZ_BUILD)/seeds
	mkdir -p $(FUZZ_BUILD)/seeds $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/crashes
	$(FUZZ_BUILD)/arf_seeds $(FUZZ_BUILD)/seeds
	scripts/fuzz-run arf_reader 300 $(FUZZ_BUILD)/arf_reader_fuzz $(FUZZ_FLAGS) -max_len=8192 \
	  $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/seeds
	rm -rf $(FUZZ_BUILD)/project-seeds
	mkdir -p $(FUZZ_BUILD)/project-seeds $(FUZZ_BUILD)/project-corpus
	$(FUZZ_BUILD)/project_seeds $(FUZZ_BUILD)/project-seeds
	scripts/fuzz-run project_reader 400 $(FUZZ_BUILD)/project_reader_fuzz $(FUZZ_FLAGS) -max_len=16384 \
	  $(FUZZ_BUILD)/project-corpus $(FUZZ_BUILD)/project-seeds

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
