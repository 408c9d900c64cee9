# The commands of the README: `make run`, `make test`, `make install` and `make package`.
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
RELEASE_DIR := build/release
TEST_DIR := build/asan
TSAN_DIR := build/tsan
# ThreadSanitizer runs the folders whose code hands data between threads: the message layer, the
# camera's frame path and the main window's start, capture and close. Qt and the other
# uninstrumented libraries would give false reports elsewhere (Qt's own D-Bus thread under a real
# X display among them, so the program under Xvfb is left out); those tests run under `make test`
# only.
TSAN_TEST_DIRS := tests/platform tests/camera tests/ui
TSAN_TARGETS := platform_tests camera_tests ui_tests

.PHONY: all setup release run install package test test-tsan clean

all: run

setup:
	@tools/setup.sh

release: setup
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null

run: release
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target orvane resources
	@# Without a camera attached the program shows its virtual one.
	@if [ -z "$$ORVANE_VIRTUAL_CAMERA" ] && ! ls /dev/video* >/dev/null 2>&1; then \
	  echo "No video device: using the virtual camera"; export ORVANE_VIRTUAL_CAMERA=1; fi; \
	$(RELEASE_DIR)/bin/orvane

# The program, its program folder, the menu entry and the camera button's udev rule under
# $(PREFIX) (DESTDIR stages them elsewhere).
install: release
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

# The Debian package of the same: $(RELEASE_DIR)/orvane_<version>_<architecture>.deb.
package: release
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target package

test: setup
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

# setarch -R: without address randomisation TSan never meets a mapping it cannot shadow.
test-tsan: setup
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=OFF \
	  -DORVANE_SANITIZE_THREAD=ON -DORVANE_BUILD_BENCH=OFF >/dev/null
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	for dir in $(TSAN_TEST_DIRS); do \
	  (cd $(TSAN_DIR)/$$dir && QT_QPA_PLATFORM=offscreen \
	    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	    setarch $$(uname -m) -R ctest --output-on-failure --timeout 300 -j $(JOBS) -LE xvfb) || exit 1; \
	done

clean:
	rm -rf build
