# The two commands of the README: `make run` and `make test`.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
TEST_DIR := build/asan

.PHONY: all setup run test clean

all: run

setup:
	@tools/setup.sh

run: setup
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target orvane resources
	$(RELEASE_DIR)/bin/orvane

test: setup
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build
