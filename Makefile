# The two entry points of the README: `make run` and `make test`.
BUILD_DIR ?= build
PACKAGE_DIR ?= build-package
SANITIZE_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)

.PHONY: deps build run test package sanitize tsan fuzz-smoke format clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Opens the main window; without a display says so in one line instead.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then $(BUILD_DIR)/src/app/brindle; \
	else echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are unset); use $(BUILD_DIR)/src/cli/brindle-cli to convert without a window"; fi

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian packages brindle-cli and brindle in $(PACKAGE_DIR), built without tests and
# benchmarks, with the hardening flags of dpkg-buildflags, then checked by lintian, which fails
# the target on an error, and by scripts/check-package (hardening, no build path, a CLI without
# Qt). BRINDLE_MAINTAINER="Name <address>" sets the Maintainer field (DEBFULLNAME and DEBEMAIL
# do too).
PACKAGE_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package:
	scripts/install-deps --package
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	    -DBRINDLE_PACKAGE=ON -DBRINDLE_TESTS=OFF -DBRINDLE_BENCHMARKS=OFF \
	    -DCMAKE_CXX_FLAGS="$$($(PACKAGE_FLAGS) CXXFLAGS) $$($(PACKAGE_FLAGS) CPPFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$($(PACKAGE_FLAGS) LDFLAGS)" \
	    $(if $(BRINDLE_MAINTAINER),-DBRINDLE_MAINTAINER="$(BRINDLE_MAINTAINER)")
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	rm -f $(PACKAGE_DIR)/*.deb
	cd $(PACKAGE_DIR) && cpack -G DEB
	appstreamcli validate --no-net data/*.metainfo.xml
	lintian --fail-on error $(PACKAGE_DIR)/*.deb
	scripts/check-package $(PACKAGE_DIR)

# The whole test suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_SANITIZE=ON -DBRINDLE_BENCHMARKS=OFF
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && ctest --output-on-failure -j $(JOBS)

# The tests that run threads (the conversion run and its reading stage, the command line and its
# signals, jobs, the windows and the conversion dialog's worker) under ThreadSanitizer. Qt is
# not instrumented: tests/tsan.supp silences what its own internals do; halt_on_error makes any
# other report fail its test. QProcess starts its child with the parent's memory shared (as
# vfork does), which leaves ThreadSanitizer believing that the test itself forked: die_after_fork=0
# lets it start threads after that.
TSAN_TARGETS = brindle_convert_tests brindle_cli_tests brindle-cli brindle_job_tests \
	brindle_form_convert_tests brindle_form_main_tests brindle
TSAN_LABELS = ^brindle_(convert|cli|job|form_convert|form_main)_tests$$
tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_SANITIZE_THREAD=ON -DBRINDLE_BENCHMARKS=OFF
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_DIR) && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 die_after_fork=0" \
		ctest --output-on-failure -j $(JOBS) -L '$(TSAN_LABELS)'

# Builds the libFuzzer targets with clang and runs each one briefly.
fuzz-smoke: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_BENCHMARKS=OFF -DBRINDLE_TESTS=OFF -DBRINDLE_GUI=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	scripts/fuzz-smoke $(FUZZ_DIR) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(PACKAGE_DIR)
