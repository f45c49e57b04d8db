# Front door. `make` builds the three builds, `make test` runs every test,
# `make demo` opens chkort.exe under Wine on a generated sample practice.
# Missing Debian packages are installed first (as root; otherwise the
# apt-get line to run is printed).

PACKAGES := cmake ninja-build g++ googletest libgtest-dev mingw-w64 wine64 xvfb python3 imagemagick
BUILDS   := native win64 win32
JOBS     ?= $(shell nproc)

.PHONY: all deps $(BUILDS) test test-native test-wine demo clean

all: $(BUILDS)

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:" $$missing; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "Missing packages; run: sudo apt-get install -y" $$missing; exit 1; \
	  fi; \
	fi

$(BUILDS): deps
	@test -f build/$@/build.ninja || cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

test: all
	ctest --test-dir build/native --output-on-failure -j $(JOBS)
	ctest --test-dir build/win64 --output-on-failure

demo: native win64
	sh tools/demo/demo.sh

clean:
	rm -rf build
