# `make fuzz`: builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in a build folder of their own and runs each
# for FUZZ_SECONDS seconds on a copy of its seed corpus, one line per target.
# Fails when any target crashes.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: fuzz

fuzz: deps
	@test -f $(FUZZ_BUILD)/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target orvane_fuzz_targets -j $(JOBS)
	tests/fuzz/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)
