# Front door. `make` builds the four builds, `make test` runs every test,
# `make demo` opens chkort.exe under Wine on a generated sample practice.
# Missing Debian packages are installed first (as root; otherwise the
# apt-get line to run is printed).

PACKAGES := cmake ninja-build g++ googletest libgtest-dev mingw-w64 wine64 xvfb python3 imagemagick clang libclang-rt-14-dev llvm cups printer-driver-cups-pdf poppler-utils python3-fonttools fonts-dejavu-core g++-multilib qemu-user-static osslsigncode openssl
INSTALLED = dpkg-query -W -f='$${Status}\n' $(1) 2>/dev/null | grep -q 'install ok installed'
BUILDS   := native win64 win32 i386
JOBS     ?= $(shell nproc)

FUZZERS      := fuzz_format fuzz_views fuzz_integrity fuzz_repairs fuzz_console
FUZZ_SECONDS ?= 600

.PHONY: all deps $(BUILDS) fuzz-build fuzz-practices fuzz fuzz-coverage fuzz-smoke test demo clean

all: $(BUILDS)

deps:
	@missing=$$(for p in $(PACKAGES); do $(call INSTALLED,$$p) || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:" $$missing; \
	    apt-get update -qq || echo "apt-get update failed in part; installing from the lists at hand"; \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "Missing packages; run: sudo apt-get install -y" $$missing; exit 1; \
	  fi; \
	fi

$(BUILDS): deps
	@test -f build/$@/build.ninja || cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

# The 32-bit build runs under Wine only where this machine runs 32-bit
# programs natively; tools/wine/wine32.py finds out with a probe of its own
# before it installs wine32, and says why when it cannot.
test: all fuzz-smoke
	ctest --test-dir build/native --output-on-failure -j $(JOBS)
	ctest --test-dir build/i386 --output-on-failure -j $(JOBS)
	ctest --test-dir build/win64 --output-on-failure -j 2
	@if why=$$(python3 -B tools/wine/wine32.py --install); then \
	  echo ctest --test-dir build/win32 --output-on-failure -j 2; ctest --test-dir build/win32 --output-on-failure -j 2; \
	else \
	  ctest --test-dir build/win32 --output-on-failure -L imports \
	  && echo "Skipped: the 32-bit chkort.exe under Wine, as $$why"; \
	fi

fuzz-build: deps
	@test -f build/fuzz/build.ninja || cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

# The starting inputs: practices from the generator, sound and damaged, in
# build/fuzz/practices (made again each time; read, never written, by the
# fuzzers, which keep what they find in build/fuzz/corpus).
fuzz-practices: fuzz-build
	@rm -rf build/fuzz/practices
	build/fuzz/tests/fuzz/fuzz_corpus build/fuzz/practices

# Each fuzzer for FUZZ_SECONDS.
fuzz: fuzz-practices
	@for f in $(FUZZERS); do \
	  mkdir -p build/fuzz/corpus/$$f; \
	  echo "== $$f, $(FUZZ_SECONDS) s"; \
	  build/fuzz/tests/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 build/fuzz/corpus/$$f build/fuzz/practices/$$f 2>&1 \
	    | grep -E 'stat::number_of_executed_units|DONE|ERROR|SUMMARY|fuzz check' || exit 1; \
	done

# Source coverage that the fuzzers' inputs (what `make fuzz` kept, and the
# generated practices) reach in the code each fuzzer aims at.
fuzz-coverage: fuzz-practices
	@test -f build/fuzz-coverage/build.ninja || cmake --preset fuzz-coverage >/dev/null
	cmake --build --preset fuzz-coverage -j $(JOBS)
	@for f in $(FUZZERS); do \
	  case $$f in \
	    fuzz_format) aim="store/format.cpp";; \
	    fuzz_views) aim="viewers";; \
	    fuzz_integrity) aim="checks/integrity.cpp";; \
	    fuzz_repairs) aim="repairs";; \
	    fuzz_console) aim="checks/held_chains.cpp checks/diagnosis.cpp";; \
	  esac; \
	  mkdir -p build/fuzz/corpus/$$f; \
	  LLVM_PROFILE_FILE=build/fuzz-coverage/$$f.profraw build/fuzz-coverage/tests/fuzz/$$f -runs=0 \
	    build/fuzz/corpus/$$f build/fuzz/practices/$$f >build/fuzz-coverage/$$f.log 2>&1 || exit 1; \
	  llvm-profdata merge -o build/fuzz-coverage/$$f.profdata build/fuzz-coverage/$$f.profraw || exit 1; \
	  llvm-cov report build/fuzz-coverage/tests/fuzz/$$f -instr-profile=build/fuzz-coverage/$$f.profdata $$aim \
	    | awk -v f=$$f -v n=$$(find build/fuzz/corpus/$$f build/fuzz/practices/$$f -type f | wc -l) -v aim="$$aim" \
	      '/^TOTAL/ { printf "%s: %d inputs; lines %d/%d (%s), branches %d/%d (%s) of %s\n", f, n, $$8-$$9, $$8, $$10, $$11-$$12, $$11, $$13, aim }'; \
	done

# A short run of every fuzzer, part of the tests.
fuzz-smoke: fuzz-practices
	@for f in $(FUZZERS); do \
	  mkdir -p build/fuzz/corpus/$$f; \
	  build/fuzz/tests/fuzz/$$f -max_total_time=4 -timeout=10 -rss_limit_mb=2048 \
	    build/fuzz/corpus/$$f build/fuzz/practices/$$f \
	    >build/fuzz/$$f.log 2>&1 || { tail -30 build/fuzz/$$f.log; echo "$$f found a fault"; exit 1; }; \
	  echo "$$f: $$(grep -o 'DONE.*' build/fuzz/$$f.log)"; \
	done

demo: native win64
	sh tools/demo/demo.sh

clean:
	rm -rf build

# The integrity test's benchmark, in a Release build of its own (no
# sanitizers), on practices kept in build/bench/practices; BENCH_LINES
# chooses other sizes (up to 10000000: a clinique of 2.24 GB, read past
# 2 GiB, in several minutes). Not part of
# `make test`.
.PHONY: bench
bench: deps
	@test -f build/bench/build.ninja || cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/bench --target chkbench chkort_cli -j $(JOBS)
	build/bench/bench/chkbench build/bench/practices $(BENCH_LINES)

# The release package: chkort.exe and chkort-cli.exe (64-bit and 32-bit), the
# technicians' guide and SHA256SUMS, in build/dist/chkort-<version>.zip; the
# executables signed when CHKORT_SIGN_PFX and CHKORT_SIGN_PASSWORD name a
# code-signing certificate (README.md).
.PHONY: dist
dist: win64 win32
	python3 -B dist/package.py --win64 build/win64 --win32 build/win32 --out build/dist
