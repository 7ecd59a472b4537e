# The two commands a newcomer needs: `make demo` and `make test`. Both install what
# they need (scripts/setup.sh) and build first.
SHELL := /bin/bash
PRESETS_LINUX := native asan
PRESETS_WINDOWS := win32 win64
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all setup build build-% test test-native test-asan format-check format lint bench clean

all: build

setup:
	@bash scripts/setup.sh

build: setup $(addprefix build-,$(PRESETS_LINUX) $(PRESETS_WINDOWS))

build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

test: setup format-check build
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

clean:
	rm -rf build
