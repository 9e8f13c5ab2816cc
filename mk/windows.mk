# `make windows`: kestrel.exe, boot.exe, orvane-dde.exe and the stand-in
# viewer trmvw32.exe for 64-bit Windows, cross-built with MinGW-w64 into
# build-win64/bin/.
# `make check-windows`: the loaders' tests built for Windows and run under
# Wine, then kestrel.exe and boot.exe under Wine against the Linux
# simulators (which the Linux build in $(BUILD) provides).
WIN_BUILD ?= build-win64
WIN_TOOLCHAIN = cmake/mingw-w64-x86_64.cmake
# The Linux side of the Windows test run: the simulators and the process
# tests that start the .exe files under Wine.
WIN_LINUX_TARGETS = dspic-sim board-sim kestrel_process_tests boot_tests

.PHONY: windows windows-configure check-windows

# -O2 rather than CMake's -O3: GCC 12 at -O3 takes the tests' tables of cases
# for uninitialised vectors (a false warning, an error under -Werror).
# The programs are stripped; they carry no debugging symbols.
windows-configure:
	@test -f $(WIN_BUILD)/build.ninja || cmake -S . -B $(WIN_BUILD) -G Ninja \
	    -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s \
	    -DORVANE_LINUX_BUILD=$(abspath $(BUILD))

windows: deps windows-configure
	cmake --build $(WIN_BUILD) -j $(JOBS) --target kestrel boot orvane-dde trmvw32_standin

# One Wine server is held in the build's prefix for the build (whose test
# listings run under Wine) and the tests, and ended after them.
check-windows: deps configure windows-configure
	cmake --build $(BUILD) -j $(JOBS) --target $(WIN_LINUX_TARGETS)
	scripts/wine-session $(abspath $(WIN_BUILD))/wineprefix sh -c \
	    'cmake --build $(WIN_BUILD) -j $(JOBS) && cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)'
	tests/skip-report $(WIN_BUILD)

.PHONY: clean-windows
clean: clean-windows
clean-windows:
	rm -rf $(WIN_BUILD)
