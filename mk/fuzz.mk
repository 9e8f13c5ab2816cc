# `make fuzz`: builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in a build folder of their own and runs each
# for FUZZ_SECONDS seconds on a copy of its seed corpus, one line per target.
# Fails when any target crashes.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES = clang libclang-rt-dev

.PHONY: fuzz fuzz-deps

fuzz-deps:
	@missing=""; for p in $(FUZZ_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "fuzz: installing$$missing"; \
	    if [ "$$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi; \
	    $$sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -qq $$missing; \
	fi

fuzz: deps fuzz-deps
	@test -f $(FUZZ_BUILD)/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target orvane_fuzz_targets -j $(JOBS)
	tests/fuzz/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)
