# The two commands a newcomer needs: `make demo` and `make test`. Both install what
# they need (scripts/setup.sh) and build first.
SHELL := /bin/bash
PRESETS_LINUX := native asan
PRESETS_WINDOWS := win32 win64
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all setup build build-% build-native-so test-native-wine test test-native test-asan format-check format lint bench fuzz fuzz-smoke memcheck clean dist demo

all: build

setup:
	@bash scripts/setup.sh

build: setup $(addprefix build-,$(PRESETS_LINUX) $(PRESETS_WINDOWS))

build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

# The Windows DLL under Wine first, so that the run ends with CTest's summary.
test: setup format-check build fuzz-smoke
	@bash scripts/wine-test.sh
	@ctest --preset native
	@ctest --preset asan

test-native: setup build-native
	@ctest --preset native

test-asan: setup build-asan
	@ctest --preset asan

format-check:
	@clang-format --dry-run --Werror $(SOURCES) || { echo "Unformatted code: run 'make format'." >&2; exit 1; }

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

# The installable archives: the COM one (both DLLs with their frhost.exe, the
# registration scripts and the install notes) and the Native API ZIP (MANIFEST.XML
# and the three libraries).
dist: setup build-win32 build-win64 build-native-so
	@version=$$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1); \
	  zip_file=$(CURDIR)/dist/fr_norvane1c83-$$version.zip; stage=$$(mktemp -d); \
	  mkdir -p dist $$stage/x86 $$stage/x64 && \
	  cp build/win32/com/fr_norvane1c83.dll build/win32/tools/frhost/frhost.exe $$stage/x86/ && \
	  cp build/win64/com/fr_norvane1c83.dll build/win64/tools/frhost/frhost.exe $$stage/x64/ && \
	  for f in com/dist/*.cmd; do sed 's/\r*$$/\r/' "$$f" > "$$stage/$$(basename "$$f")"; done && \
	  cp com/dist/INSTALL.ru.md com/dist/INSTALL.en.md $$stage/ && \
	  rm -f "$$zip_file" && (cd $$stage && zip -q -X -r "$$zip_file" x86 x64 *.cmd INSTALL.*.md); \
	  status=$$?; rm -rf $$stage; [ $$status -eq 0 ] && echo "dist: $$zip_file"
	@version=$$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1); \
	  zip_file=$(CURDIR)/dist/fr_norvane1c83_native-$$version.zip; stage=$$(mktemp -d); \
	  cp native/dist/MANIFEST.XML build/win32/native/fr_norvane1c83_win_x86.dll \
	     build/win64/native/fr_norvane1c83_win_x64.dll $$stage/ && \
	  strip --strip-unneeded -o $$stage/fr_norvane1c83_lin_x64.so build/native/native/fr_norvane1c83_lin_x64.so && \
	  rm -f "$$zip_file" && (cd $$stage && zip -q -X "$$zip_file" MANIFEST.XML *.dll *.so); \
	  status=$$?; rm -rf $$stage; [ $$status -eq 0 ] && echo "dist: $$zip_file"

# Only the Native API library of the Linux build (for dist).
build-native-so: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target fr_norvane1c83_native

# The Native API DLLs under Wine, after the builds (a stage of its own).
test-native-wine: setup build-native build-win32 build-win64
	@bash scripts/native-test.sh

demo:
	@bash scripts/demo.sh

# The fuzz targets, long: FUZZ_SECONDS per target, or FUZZ_RUNS executions each
# (FUZZ_RUNS=1000000 is the run docs/RELIABILITY.md reports).
FUZZ_SECONDS ?= 600
fuzz: setup
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

# Each fuzz target briefly, as part of `make test`, from a fixed seed so that a
# run can be repeated.
FUZZ_SMOKE_SECONDS ?= 15
fuzz-smoke: setup
	@FUZZ_RUNS= FUZZ_SEED=1 bash scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)

# The end-to-end test programs under Valgrind memcheck (docs/RELIABILITY.md).
memcheck: setup build-native
	@bash scripts/memcheck.sh

clean:
	rm -rf build
