# Convenience front end over CMake + Ninja. `make` builds into build/,
# `make check` installs what is missing, builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# The transfer engine's tests, the part of the suite with threads of its own.
TSAN_TARGETS = transfer_tests transfer_program_tests orvane-fetch
JOBS ?= $(shell nproc)

.PHONY: all deps configure check check-asan check-tsan run bench package install format clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

configure:
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

deps:
	scripts/install-deps

check: deps all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	tests/skip-report $(BUILD)

check-asan: deps
	@test -f $(ASAN_BUILD)/build.ninja || cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	tests/skip-report $(ASAN_BUILD)

# The transfer tests again under ThreadSanitizer; only their targets are built.
# GLib's in-memory settings stand in for dconf there: dconf's worker thread
# frees what GLib made on the starting thread under GLib's own locks, which
# the checker cannot see, and the engine reads no setting of its own.
check-tsan: deps
	@test -f $(TSAN_BUILD)/build.ninja || cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && GSETTINGS_BACKEND=memory TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan-suppressions.txt" ctest --output-on-failure -j $(JOBS) -R '^(Transfer|Http|Ftp|RealServers|FetchProgram|Scripted/HttpServerBehaviour)'
	tests/skip-report $(TSAN_BUILD)

# build/orvane_VERSION_ARCH.deb (CPack; Depends worked out by dpkg-shlibdeps).
package: deps all
	cmake --build $(BUILD) --target package

# Into PREFIX (default /usr/local), under DESTDIR when given.
PREFIX ?= /usr/local
install: all
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

run: deps all
	@scripts/run-main

bench: deps all
	bench/run-all $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

# Optional parts kept in their own files (fuzzing, ...).
-include mk/*.mk
