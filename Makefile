# Thin wrappers around CMake, CTest, pip and pytest. Each target is one line of work;
# `make help` lists them. The interpreter is a private CPython bootstrapped from Debian:
# 3.15 by default (in .python/), 3.14 with PYTHON_VERSION=3.14 (in .python-3.14/, built in
# build-3.14/ and its siblings, so that the two versions never share a build):
#   make test PYTHON_VERSION=3.14
# Or use your own interpreter (CPython 3.14 or 3.15 with headers):
#   make PYTHON=/path/to/python3.15t BUILD=build-ft-own test

# Quiet output: a line per stage, test summaries, failures in full (VERBOSE=1 shows everything);
# no "Entering directory" lines from the makes that CMake runs.
MAKEFLAGS += --no-print-directory
STAGE = $(CURDIR)/tools/stage

DEFAULT_PYTHON_VERSION = 3.15
PYTHON_VERSION ?= $(DEFAULT_PYTHON_VERSION)
# The default version keeps the plain names (.python/, build/).
VERSION_SUFFIX = $(if $(filter $(DEFAULT_PYTHON_VERSION),$(PYTHON_VERSION)),,-$(PYTHON_VERSION))
BOOTSTRAP_PYTHON := $(CURDIR)/.python$(VERSION_SUFFIX)/usr/bin/python$(PYTHON_VERSION)
PYTHON ?= $(BOOTSTRAP_PYTHON)
BUILD ?= build$(VERSION_SUFFIX)
# check-ft compiles for the free-threaded build of each of these versions.
FREE_THREADED_VERSIONS = 3.15 3.14
JOBS ?= 2
CMAKE_CONFIGURE = cmake -S . -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
PYTEST = $(PYTHON) -m pytest tests/python -q -p no:cacheprovider
# The extension targets a Python program needs (the demo builds these, not the C++ tests).
MODULE_TARGETS = vellomir vellomir_numpy_core vellomir_numpy_front
# Wheels land in dist/ (repaired where auditwheel can); the environment they are tested in.
DIST ?= dist
VENV ?= $(BUILD)-venv
VENV_PYTHON = $(CURDIR)/$(VENV)/bin/python
PYRIGHT = tools/pyright/node_modules/.bin/pyright
TYPED_FILES = examples/light_curve.py tests/typing/usage.py tests/typing/user_script.py
ASAN_RUNTIME = $(shell $(CXX) -print-file-name=libasan.so)
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
CXX ?= g++
BASELINE_OPTION = $(if $(BASELINE),--baseline-path $(BASELINE))
# The interpreter is not linked with libstdc++: preload it with the ASan runtime so that
# ASan's __cxa_throw interceptor finds the real one. LeakSanitizer's scan of thread-local
# storage does not understand the private interpreter's newer C library (its tracer
# crashes once the pool's threads exist), so leaks are scanned without it there.
PYTHON_UNDER_ASAN = LD_PRELOAD="$(ASAN_RUNTIME) libstdc++.so.6" \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0:use_tls=0

.PHONY: all help python build test demo wheel venv install typecheck bench check-ft check-ft-version sanitize tsan clean

all: build ## same as make build

help: ## list the targets
	@awk -F':.*## ' '/^[a-z-]+:.*## / {printf "  make %-10s %s\n", $$1, $$2}' $(MAKEFILE_LIST)

python: $(PYTHON) ## bootstrap the private CPython (PYTHON_VERSION: 3.15 into .python/, 3.14 into .python-3.14/) if it is missing

# Depends on the script, so a checkout that adds packages refreshes an existing prefix.
$(BOOTSTRAP_PYTHON): scripts/bootstrap-python
	scripts/bootstrap-python --version $(PYTHON_VERSION)

build: python ## build the module and the C++ unit tests (the default target)
	@$(STAGE) "configure $(BUILD)/" $(CMAKE_CONFIGURE) -B $(BUILD) -DVELLOMIR_BUILD_TESTS=ON
	@$(STAGE) "build the modules and the C++ unit tests" cmake --build $(BUILD) -j$(JOBS)

test: build ## C++ unit tests, then the pytest suite against the built module (PYTHON_VERSION=3.14: on 3.14)
	@$(STAGE) --tail 3 "C++ unit tests (ctest)" ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j$(JOBS)
	@echo "pytest tests/python:"
	@PYTHONPATH=$(CURDIR)/$(BUILD) $(PYTEST)

demo: python ## build the modules only, draw a light curve: table, CSV and PNG in out/ (ARGS="--help")
	@$(STAGE) "configure $(BUILD)/" $(CMAKE_CONFIGURE) -B $(BUILD)
	@$(STAGE) "build the modules" cmake --build $(BUILD) --target $(MODULE_TARGETS) -j$(JOBS)
	@PYTHONPATH=$(CURDIR)/$(BUILD) $(PYTHON) examples/light_curve.py $(ARGS)

wheel: python ## build the wheel offline into dist/, repaired to a manylinux tag by auditwheel
	@rm -rf $(BUILD)-wheel/raw
	@$(STAGE) "build the wheel offline (pip wheel with scikit-build-core: a minute or two)" \
		$(PYTHON) -m pip --isolated wheel --no-build-isolation --no-deps --no-index -w $(BUILD)-wheel/raw \
		--config-settings=build-dir=$(BUILD)-wheel/cmake .
	@$(STAGE) --tail 1 "repair it to a manylinux tag (auditwheel)" \
		env PATH="$(dir $(PYTHON)):$$PATH" $(PYTHON) tools/repair_wheel.py $(BUILD)-wheel/raw/*.whl $(DIST)

venv: wheel ## a fresh virtual environment (build-venv/) with the wheel installed
	@rm -rf $(VENV)
	@$(STAGE) "a fresh virtual environment $(VENV)/" $(PYTHON) -m venv --without-pip --system-site-packages $(VENV)
	@$(STAGE) "install the wheel into it" \
		$(PYTHON) -m pip --isolated --python $(VENV_PYTHON) install --no-index --no-deps --find-links $(DIST) vellomir
	@cd $(VENV) && $(VENV_PYTHON) -c 'import sys, vellomir, vellomir_numpy as n; assert all(m.__file__.startswith(sys.prefix) for m in (vellomir, n))'

install: venv ## install the wheel into build-venv/ and run the pytest suite against that installation
	cd $(VENV) && $(VENV_PYTHON) -m pytest $(CURDIR)/tests/python -q -p no:cacheprovider

$(PYRIGHT): tools/pyright/package-lock.json
	npm ci --prefix tools/pyright --ignore-scripts --no-audit --no-fund
	touch $@

typecheck: venv $(PYRIGHT) ## mypy --strict and pyright on the examples and tests/typing, against the installed wheel
	@echo "mypy --strict and pyright (strict) on $(TYPED_FILES):"
	@$(VENV_PYTHON) -m mypy --strict --no-incremental $(TYPED_FILES)
	@$(PYRIGHT) --project tools/pyright --pythonpath $(VENV_PYTHON) $(TYPED_FILES)

bench: python ## benchmarks: the Google Benchmark programs and the Python ones in bench/ (BASELINE=<another build dir> times it too)
	@$(STAGE) "configure $(BUILD)-bench/" $(CMAKE_CONFIGURE) -B $(BUILD)-bench -DVELLOMIR_BUILD_BENCH=ON
	@$(STAGE) "build the benchmarks" cmake --build $(BUILD)-bench -j$(JOBS)
	@echo "Google Benchmark programs (Debian's libbenchmark is a DEBUG build, which it says at every start:"
	@echo "that warning is about the library, not vellomir's code, and is left out below)"
	@for b in $(BUILD)-bench/bench_*; do [ -x "$$b" ] || continue; \
		out=$$("$$b" --benchmark_min_time=0.2 2>&1) || { echo "$$out"; exit 1; }; \
		echo "$$out" | grep -v 'Library was built as DEBUG' || true; done
	PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_module.py $(BASELINE_OPTION)
	PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_interrupt.py $(BASELINE_OPTION)
	PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_numpy.py
	RAYON_NUM_THREADS=1 PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_nearfield.py

check-ft: ## compile both extensions for free-threaded CPython 3.15 and 3.14, check what they declare
	@for version in $(FREE_THREADED_VERSIONS); do $(MAKE) check-ft-version PYTHON_VERSION=$$version || exit 1; done

# The free-threaded twins of the extensions are targets of the version's own build tree: they
# link its core libraries (no Python.h there), so only the extensions' sources are compiled again.
check-ft-version: python # check-ft for PYTHON_VERSION (or PYTHON) alone
	@$(STAGE) "configure $(BUILD)/" $(CMAKE_CONFIGURE) -B $(BUILD) -DVELLOMIR_BUILD_TESTS=ON
	@$(STAGE) "build both extensions for the free-threaded CPython $(PYTHON_VERSION) (over the core of $(BUILD)/)" cmake --build $(BUILD) --target vellomir_free_threaded vellomir_numpy_core_free_threaded -j$(JOBS)
	$(PYTHON) tools/check_abi.py --free-threaded $(BUILD)/free-threaded/vellomir.cpython-3*t-*.so
	$(PYTHON) tools/check_abi.py --free-threaded $(BUILD)/free-threaded/vellomir_numpy/_core.cpython-3*t-*.so

sanitize: python ## ASan+UBSan build: C++ tests and the whole pytest suite
	@$(STAGE) "configure $(BUILD)-asan/" $(CMAKE_CONFIGURE) -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLOMIR_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
	@$(STAGE) "build with ASan and UBSan" cmake --build $(BUILD)-asan -j$(JOBS)
	@$(STAGE) --tail 3 "C++ unit tests under ASan and UBSan (ctest)" env $(SANITIZER_ENV) ctest --test-dir $(BUILD)-asan --output-on-failure --no-tests=error -j$(JOBS)
	$(SANITIZER_ENV) $(PYTHON_UNDER_ASAN) PYTHONPATH=$(CURDIR)/$(BUILD)-asan $(PYTEST)

tsan: ## ThreadSanitizer build of the C++ core tests
	@$(STAGE) "configure $(BUILD)-tsan/" cmake -S . -B $(BUILD)-tsan -DVELLOMIR_BUILD_MODULE=OFF -DVELLOMIR_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=thread"
	@$(STAGE) "build with ThreadSanitizer" cmake --build $(BUILD)-tsan -j$(JOBS)
	@$(STAGE) --tail 3 "C++ core tests under ThreadSanitizer (ctest)" env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0 ctest --test-dir $(BUILD)-tsan --output-on-failure --no-tests=error -j$(JOBS)

clean: ## remove the build directories, dist/ and the virtual environment
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-ft $(BUILD)-asan $(BUILD)-tsan $(BUILD)-wheel $(VENV) $(DIST)
