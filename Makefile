# The two commands a newcomer needs: `make demo` and `make test`. Both install what
# they need (scripts/setup.sh: the demo profile or the full one) and build first.
SHELL := /bin/bash
PRESETS_LINUX := native asan
PRESETS_WINDOWS := win32 win64
# The tracked sources; in a tree without git (a source archive), every one on disk.
SOURCES = $(or $(shell git ls-files '*.cpp' '*.h' 2>/dev/null),$(shell find . \( -name build -o -name dist -o -name '.*' ! -name . \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print))

# The stages of `make test`, in order, each a make target: scripts/test-all.sh runs
# every one, even after a failure, and ends with a table of results and minutes.
# A new stage is its target and its name added here (or `TEST_STAGES += name`).
TEST_STAGES := format-check build-native build-asan build-win32 build-win64 fuzz-smoke \
  wine-test frhost-wine-test native-wine-test ctest-native ctest-asan
TEST_STAGES += tape-view-test
TEST_STAGES += test-tsan
# The tests that run threads (objects on threads of their own, the in-process
# emulator, the log's writers), built and run under ThreadSanitizer.
TSAN_TESTS := SupportLogTest PlatformTextTest PlatformSystemTest host_working_day_tests driver_tests \
  documents_tests emulator_tests

.PHONY: all setup setup-demo build build-% build-native-so test test-native test-asan test-tsan \
  ctest-native ctest-asan wine-test frhost-wine-test native-wine-test test-native-wine \
  format-check format lint bench fuzz fuzz-smoke memcheck clean dist demo
.PHONY: tape-view-test demo-live

# A compiler cache when there is one: a clean clone in a new folder still finds
# what an earlier build of the same sources compiled.
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
endif

all: build

setup:
	@bash scripts/setup.sh full

setup-demo:
	@bash scripts/setup.sh demo

build: setup $(addprefix build-,$(PRESETS_LINUX) $(PRESETS_WINDOWS))

# The native build needs only the demo's packages; the others, the full set.
build-native: setup-demo
	@cmake --preset native >/dev/null
	@cmake --build --preset native

build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

test: setup
	@bash scripts/test-all.sh $(TEST_STAGES)

# The stages alone run what is built; test-native and test-asan build first.
ctest-native:
	@ctest --preset native

ctest-asan:
	@ctest --preset asan

wine-test:
	@bash scripts/wine-test.sh

frhost-wine-test:
	@bash scripts/frhost-wine-test.sh

native-wine-test:
	@bash scripts/native-test.sh

test-native: build-native ctest-native

test-asan: setup build-asan ctest-asan

test-tsan: setup
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan --target $(TSAN_TESTS)
	@ctest --preset tsan

# Standard input closed: clang-format given no file would wait for it.
format-check:
	@clang-format --dry-run --Werror $(SOURCES) </dev/null || { echo "Unformatted code: run 'make format'." >&2; exit 1; }

format:
	@clang-format -i $(SOURCES)

# Format check, then clang-tidy on the files changed against main's merge base.
lint: format-check build-native
	@changed=$$(git diff --name-only --diff-filter=d $$(git merge-base HEAD origin/main 2>/dev/null || git rev-list --max-parents=0 HEAD) -- '*.cpp'); \
	  changed="$$changed $$(git ls-files --others --exclude-standard -- '*.cpp')"; \
	  if [ -n "$${changed// }" ]; then clang-tidy -p build/native --quiet $$changed; else echo "lint: no changed sources"; fi

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@bash scripts/bench.sh

# The installable archives: the COM one (both DLLs with their frhost.exe and
# fremu.exe, the registration scripts and examples/) and the Native API ZIP (MANIFEST.XML and the
# three libraries), each with the user guide, the reference and the change log
# (scripts/dist-docs.sh). The Linux one is the old-glibc build's, as its
# build checked it (scripts/glibc-floor.sh): it loads on glibc 2.28 and newer.
dist: setup build-win32 build-win64 build-native-old-glibc reference
	@version=$$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1); \
	  zip_file=$(CURDIR)/dist/fr_norvane1c83-$$version.zip; stage=$$(mktemp -d); \
	  mkdir -p dist $$stage/x86 $$stage/x64 && \
	  cp build/win32/com/fr_norvane1c83.dll build/win32/tools/frhost/frhost.exe \
	     build/win32/tools/fremu/fremu.exe $$stage/x86/ && \
	  cp build/win64/com/fr_norvane1c83.dll build/win64/tools/frhost/frhost.exe \
	     build/win64/tools/fremu/fremu.exe $$stage/x64/ && \
	  for f in com/dist/*.cmd; do sed 's/\r*$$/\r/' "$$f" > "$$stage/$$(basename "$$f")"; done && \
	  bash scripts/dist-docs.sh $$stage build/native/docs --examples && \
	  rm -f "$$zip_file" && (cd $$stage && zip -q -X -r "$$zip_file" x86 x64 *.cmd *.md examples); \
	  status=$$?; rm -rf $$stage; [ $$status -eq 0 ] && echo "dist: $$zip_file"
	@version=$$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1); \
	  zip_file=$(CURDIR)/dist/fr_norvane1c83_native-$$version.zip; stage=$$(mktemp -d); \
	  cp native/dist/MANIFEST.XML build/win32/native/fr_norvane1c83_win_x86.dll \
	     build/win64/native/fr_norvane1c83_win_x64.dll $$stage/ && \
	  cp build/native-old-glibc/release/fr_norvane1c83_lin_x64.so $$stage/ && \
	  bash scripts/dist-docs.sh $$stage build/native/docs && \
	  rm -f "$$zip_file" && (cd $$stage && zip -q -X "$$zip_file" MANIFEST.XML *.dll *.so *.md); \
	  status=$$?; rm -rf $$stage; [ $$status -eq 0 ] && echo "dist: $$zip_file"

# The shipped Linux library in Debian 11's root and on this machine (a stage of its
# own; skipped with a line where setup could not make the root).
TEST_STAGES += old-glibc-test
.PHONY: old-glibc-test
old-glibc-test: setup build-native
	@bash scripts/old-glibc-test.sh

# The reference of methods, properties and settings, written by the native build
# from the component's tables (build/native/docs/REFERENCE.*.md).
.PHONY: reference
reference: setup-demo
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target reference

# fremu.exe of both bitnesses under Wine against a protocol client of its own
# (a stage of its own, after the Windows builds).
TEST_STAGES += fremu-wine-test
.PHONY: fremu-wine-test
fremu-wine-test: setup
	@bash scripts/fremu-wine-test.sh

# Only the Native API library of the Linux build.
build-native-so: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target fr_norvane1c83_native

# The Native API DLLs under Wine, after the builds (a stage of its own).
test-native-wine: setup build-native build-win32 build-win64
	@bash scripts/native-test.sh

demo:
	@bash scripts/demo.sh

# The demo's session with the emulator's tape page, which stays until Ctrl-C.
demo-live:
	@bash scripts/demo.sh --live

# The tape page in headless Chromium, after build-native (a stage of its own).
tape-view-test:
	@bash scripts/tape-view-test.sh

# The fuzz targets, long: FUZZ_SECONDS per target, or FUZZ_RUNS executions each
# (FUZZ_RUNS=1000000 is the run docs/RELIABILITY.md reports).
FUZZ_SECONDS ?= 600
fuzz: setup
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

# Each fuzz target briefly, as part of `make test`, two at a time (one core each),
# from a fixed seed.
FUZZ_SMOKE_SECONDS ?= 15
fuzz-smoke: setup
	@FUZZ_RUNS= FUZZ_SEED=1 FUZZ_JOBS=2 bash scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)

# The end-to-end test programs under Valgrind memcheck (docs/RELIABILITY.md).
memcheck: setup build-native
	@bash scripts/memcheck.sh

clean:
	rm -rf build
