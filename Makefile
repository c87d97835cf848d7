# The project's two commands: `make demo` and `make test`. Each command installs the packages
# it needs (scripts/install-deps.sh <profile>) and builds only what it runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build demo test asan bench soak clean format install check-layers

all: build

deps:
	@./scripts/install-deps.sh

# The build directory with the test programs; the benchmarks have a build of their own.
configure:
	@./scripts/install-deps.sh test
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKREL_BUILD_TESTS=ON -DKREL_BUILD_BENCH=OFF >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The demo runs in $(DEMO_DIR)/bin, beside the config/ and log/ directories of its log, made
# afresh for each run, with a registry of its own that it keeps between runs (its machine hive
# holds the service it installs: no root needed). Its debugger output goes to
# $(DEMO_DIR)/debug-output.txt, also made afresh: the demo shows the lines it explains, and the
# library's own debug lines stay in the file. It needs the library, krel-admin and itself: a
# build directory made for it leaves the tests out; one that has them keeps them.
DEMO_DIR = $(BUILD)/demo-run
demo:
	@./scripts/install-deps.sh demo
	@[ -x $(BUILD)/examples/demo ] || echo "Building the library, krel-admin and the demo:" \
	  "some 6 minutes of processor time, about 45 seconds on an idle 8-core machine," \
	  "longer on a busy one; later runs take seconds."
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKREL_BUILD_BENCH=OFF \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DKREL_BUILD_TESTS=OFF) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target demo krel-admin
	@rm -rf $(DEMO_DIR)/bin $(DEMO_DIR)/config $(DEMO_DIR)/log $(DEMO_DIR)/debug-output.txt
	@mkdir -p $(DEMO_DIR)/bin $(DEMO_DIR)/config $(DEMO_DIR)/log $(DEMO_DIR)/registry
	@cd $(DEMO_DIR)/bin && KREL_DEBUG_OUTPUT=$(abspath $(DEMO_DIR))/debug-output.txt \
	  KREL_REGISTRY_DIR=$(abspath $(DEMO_DIR))/registry $(abspath $(BUILD))/examples/demo

test: build
	@./scripts/run-tests.sh $(BUILD) $(JOBS)

# Installs the library, its headers, the CMake and pkg-config files, krel-admin and the jar below
# PREFIX (CMake's default when unset), staged below DESTDIR when given. Only an install into a
# directory the dynamic linker searches, made by root without DESTDIR, refreshes the linker's
# cache (ldconfig): a user's own prefix needs neither root nor ldconfig.
PREFIX  ?=
DESTDIR ?=
install:
	@./scripts/install-deps.sh demo
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKREL_BUILD_BENCH=OFF \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DKREL_BUILD_TESTS=OFF) \
	  $(if $(PREFIX),-DCMAKE_INSTALL_PREFIX=$(PREFIX),-UCMAKE_INSTALL_PREFIX) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target KrelStd krel-admin KrelStdJar
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD)
	@if [ -z "$(DESTDIR)" ] && [ "$$(id -u)" -eq 0 ]; then \
	  prefix=$$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' $(BUILD)/CMakeCache.txt); \
	  libdir=$$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' $(BUILD)/CMakeCache.txt); \
	  case $$libdir in /*) ;; *) libdir=$$prefix/$$libdir ;; esac; \
	  libdir=$$(realpath "$$libdir"); \
	  for searched in $$(PATH=$$PATH:/sbin:/usr/sbin ldconfig -v -N -X 2>/dev/null | sed -n 's|^\(/[^:]*\):.*|\1|p'); do \
	    if [ "$$(realpath -m "$$searched")" = "$$libdir" ]; then PATH=$$PATH:/sbin:/usr/sbin ldconfig; break; fi; \
	  done; \
	fi

# The library keeps its locks and singletons for the whole process on purpose, so leak
# detection is off; every other AddressSanitizer and UndefinedBehaviorSanitizer check is on.
asan: export ASAN_OPTIONS = detect_leaks=0
asan: export UBSAN_OPTIONS = print_stacktrace=1
asan:
	@./scripts/install-deps.sh test
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKREL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@./scripts/run-tests.sh $(ASAN_BUILD) $(JOBS)

# Release build of the benchmarks; prints each path's time against its peer's.
BENCH_BUILD ?= build-bench
bench:
	@./scripts/install-deps.sh bench
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKREL_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@python3 ./scripts/bench-table.py $(BENCH_BUILD)

# A long run of a service under changing settings and failing servers (see soak/Driver.h), in
# $(SOAK_DIR), made afresh, with a registry of its own; it prints its figures and fails on a miss.
# Built like the demo, in the main build directory.
SOAK_MINUTES ?= 10
SOAK_DIR      = $(BUILD)/soak-run
soak:
	@./scripts/install-deps.sh demo
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKREL_BUILD_BENCH=OFF \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DKREL_BUILD_TESTS=OFF) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target krel-soak krel-admin
	@rm -rf $(SOAK_DIR)
	@$(BUILD)/soak/krel-soak --minutes $(SOAK_MINUTES) --dir $(SOAK_DIR)

# Fails on an include from a lower area into a higher one that scripts/layers-allowed.txt does
# not list, and on an entry of that list that no longer occurs.
check-layers:
	@python3 ./scripts/check-layers.py

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)

# libFuzzer targets (clang), each run for a bounded time. A target <name> starts from the seed
# documents in fuzz/corpus/<name>/ (copied, so the run never writes into the sources) and uses
# the dictionary fuzz/<name>.dict, where they exist.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 30
.PHONY: fuzz
fuzz:
	@./scripts/install-deps.sh fuzz
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKREL_FUZZ=ON -DKREL_BUILD_TESTS=OFF -DKREL_BUILD_BENCH=OFF -DKREL_WERROR=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for target in $(FUZZ_BUILD)/fuzz/*_fuzz; do \
	  [ -x "$$target" ] || continue; \
	  name=$$(basename $$target); extra=""; \
	  if [ -d fuzz/corpus/$$name ]; then \
	    rm -rf $(FUZZ_BUILD)/corpus/$$name; mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	    cp fuzz/corpus/$$name/* $(FUZZ_BUILD)/corpus/$$name/; \
	    extra="$(FUZZ_BUILD)/corpus/$$name"; \
	  fi; \
	  if [ -f fuzz/$$name.dict ]; then extra="-dict=fuzz/$$name.dict $$extra"; fi; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS)s"; \
	  if ! ASAN_OPTIONS=detect_leaks=0 "$$target" -max_total_time=$(FUZZ_SECONDS) $$extra >$(FUZZ_BUILD)/fuzz.log 2>&1; then \
	    tail -n 40 $(FUZZ_BUILD)/fuzz.log; exit 1; \
	  fi; \
	  tail -n 1 $(FUZZ_BUILD)/fuzz.log; \
	done
