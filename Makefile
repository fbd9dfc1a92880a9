# Penwick: `make run` builds and starts the program, `make test` builds and runs
# every test. Both install what is missing from Debian's packages first.

BUILD      ?= build
GENERATOR  ?= Ninja
CMAKE_FLAGS ?=
JOBS       ?= $(shell nproc)

BUILD_PACKAGES := g++ cmake ninja-build pkgconf qt6-base-dev qt6-base-dev-tools libgl-dev \
                  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils \
                  libbenchmark-dev fonts-dejavu-core fonts-wine qt6-webengine-dev
TEST_PACKAGES  := python3 clang-format xvfb x11-utils xdotool dbus-x11 dunst trayer imagemagick

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test build deps test-deps test-asan test-tsan bench serve clean format check-format

run: deps build
	./$(BUILD)/penwick

test: deps test-deps build
	cd $(BUILD) && ctest --output-on-failure -j1

build:
	cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer over the unit tests.
test-asan: deps
	$(MAKE) build BUILD=build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DPENWICK_ASAN=ON -DPENWICK_BUILD_BENCH=OFF"
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -LE e2e

# ThreadSanitizer over the tests that run threads.
test-tsan: deps
	$(MAKE) build BUILD=build-tsan CMAKE_FLAGS="$(CMAKE_FLAGS) -DPENWICK_TSAN=ON -DPENWICK_BUILD_BENCH=OFF"
	# The engine is preloaded: it is unloaded at exit, and ThreadSanitizer
	# stops a process when a library it was told to ignore goes away.
	cd build-tsan && LD_PRELOAD=/usr/lib/x86_64-linux-gnu/firebird/3.0/plugins/libEngine12.so \
		TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 die_after_fork=0" \
		ctest --output-on-failure -L threads

bench: deps build
	./$(BUILD)/bench/bench_notelist
	./$(BUILD)/bench/bench_dialogs
	./bench/startup.sh ./$(BUILD)/penwick ./$(BUILD)/bench/tray_reference

# Formats every C++ file as .clang-format says; check-format only tells.
format: test-deps
	./tools/check-format.sh --fix

check-format: test-deps
	./tools/check-format.sh

# The reference web service (version file, publicity flag and page, product
# page) on the default service address.
serve:
	python3 -m http.server --bind 127.0.0.1 8088 --directory service

deps:
	@./tools/install-packages.sh $(BUILD_PACKAGES)

test-deps:
	@./tools/install-packages.sh $(TEST_PACKAGES)

clean:
	rm -rf build-asan build-tsan
	@echo "$(BUILD)/ is kept: it holds dbn.ib with your notes. Remove it by hand if you mean to."
