# Thin wrappers around CMake, CTest and pytest. Each target is one line of work.
#   make            bootstrap CPython 3.15 if needed, build module + C++ tests
#   make test       C++ unit tests, then the pytest suite against the built module
#   make demo       a finite-source light curve, printed and written as CSV
#   make bench      benchmarks (C++ and end-to-end Python); BASELINE=<dir holding another build
#                   of the module> also times that build in the same run
#   make check-ft   compile the module for the free-threaded interpreter, check its ABI record
#   make sanitize   ASan+UBSan build: C++ tests and the whole pytest suite
#   make tsan       ThreadSanitizer build of the C++ core tests (cancellation and fork included)
# Use your own interpreter (CPython >= 3.14 with headers): make PYTHON=/path/to/python3.15t

BOOTSTRAP_PYTHON := $(CURDIR)/.python/usr/bin/python3.15
PYTHON ?= $(BOOTSTRAP_PYTHON)
BUILD ?= build
JOBS ?= 2
CMAKE_CONFIGURE = cmake -S . -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
PYTEST = $(PYTHON) -m pytest tests/python -q -p no:cacheprovider
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

.PHONY: all python build test demo bench check-ft sanitize tsan clean

all: build

python: $(PYTHON)

$(BOOTSTRAP_PYTHON):
	scripts/bootstrap-python

build: python
	$(CMAKE_CONFIGURE) -B $(BUILD) -DVELLOMIR_BUILD_TESTS=ON && cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j$(JOBS)
	PYTHONPATH=$(CURDIR)/$(BUILD) $(PYTEST)

demo: build
	PYTHONPATH=$(CURDIR)/$(BUILD) $(PYTHON) examples/light_curve.py $(ARGS)

bench: python
	$(CMAKE_CONFIGURE) -B $(BUILD)-bench -DVELLOMIR_BUILD_BENCH=ON && cmake --build $(BUILD)-bench -j$(JOBS)
	for b in $(BUILD)-bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2 || exit 1; done
	PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_module.py $(BASELINE_OPTION)
	PYTHONPATH=$(CURDIR)/$(BUILD)-bench $(PYTHON) bench/bench_interrupt.py $(BASELINE_OPTION)

check-ft: python
	$(CMAKE_CONFIGURE) -B $(BUILD)-ft -DVELLOMIR_FREE_THREADED=ON && cmake --build $(BUILD)-ft --target vellomir -j$(JOBS)
	$(PYTHON) tools/check_abi.py --free-threaded $(BUILD)-ft/vellomir.cpython-3*t-*.so

sanitize: python
	$(CMAKE_CONFIGURE) -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLOMIR_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" && cmake --build $(BUILD)-asan -j$(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(BUILD)-asan --output-on-failure --no-tests=error -j$(JOBS)
	$(SANITIZER_ENV) $(PYTHON_UNDER_ASAN) PYTHONPATH=$(CURDIR)/$(BUILD)-asan $(PYTEST)

tsan:
	cmake -S . -B $(BUILD)-tsan -DVELLOMIR_BUILD_MODULE=OFF -DVELLOMIR_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=thread" && cmake --build $(BUILD)-tsan -j$(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0 ctest --test-dir $(BUILD)-tsan --output-on-failure --no-tests=error -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-ft $(BUILD)-asan $(BUILD)-tsan
