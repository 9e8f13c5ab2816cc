# `make check-flakes`: the tests that lean on timing (the browser as a
# process on an X display with a window manager, GTK windows, pseudo-
# terminals, the loaders' line tests) run FLAKE_RUNS times in a row while
# `stress` keeps every core busy. Any failure ends the run and fails it.
FLAKE_RUNS ?= 20
FLAKE_TESTS ?= ^(DownloadOnDisplay|SlowDownloadOnDisplay|BrowserOnDisplay|BrowserWithWindowManager|HandOffOnDisplay|QuicklookOnDisplay|QuicklookWithWindowManager|GtkFrameTest|GtkDesktopTest|GtkTransferWindowTest|WindowTitlesTest|StandinViewerTest|StandinViewerProgram|TermiosPort|SerialLinkOnPty|BootProcess|KestrelProcess)\.

.PHONY: check-flakes

check-flakes: deps all
	@stress --cpu $(JOBS) --timeout 7200 > /dev/null 2>&1 & load=$$!; \
	trap 'kill $$load 2> /dev/null' EXIT; \
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure -R '$(FLAKE_TESTS)' --repeat until-fail:$(FLAKE_RUNS)
