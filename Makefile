# Penwick: `make run` builds and starts the program, `make test` builds and runs
# every test. Both install what is missing from Debian's packages first.

BUILD      ?= build
CMAKE_FLAGS ?=
JOBS       ?= $(shell nproc)
# A build folder keeps the generator it was made with (by hand too): use it.
CACHED_GENERATOR = $(shell sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' $(BUILD)/CMakeCache.txt 2>/dev/null)
GENERATOR  ?= $(or $(CACHED_GENERATOR),Ninja)

BUILD_PACKAGES := g++ cmake ninja-build pkgconf qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev \
                  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils \
                  libbenchmark-dev fonts-dejavu-core fonts-wine qt6-webengine-dev
DESKTOP_PACKAGES := xvfb x11-utils xdotool dbus-x11 dunst trayer
# The end-to-end tests of dialogs run under a real window manager.
# A StatusNotifierItem host and AT-SPI on Wayland are driven from Debian's python3;
# firebird3.0-server: the tests start a private server of their own, never its
# package's own service.
TEST_PACKAGES  := python3 python3-dbus python3-gi python3-icalendar clang-format $(DESKTOP_PACKAGES) xfwm4 openbox \
                  imagemagick weston xwayland qt6-wayland at-spi2-core appstream dpkg-dev file lintian firebird3.0-server
BENCH_PACKAGES := $(DESKTOP_PACKAGES) gcc libx11-dev
DEB_PACKAGES   := dpkg-dev file lintian
# A bare Debian 12 to install the package into, on a headless desktop.
PACKAGE_TEST_PACKAGES := $(DEB_PACKAGES) debootstrap $(DESKTOP_PACKAGES) imagemagick

.PHONY: run test build configure deps test-deps bench-deps deb-deps test-package test-asan test-tsan bench deb serve clean format check-format

# Only the program and what it needs to run; the notes are the per-user file.
run: deps configure
	cmake --build $(BUILD) -j $(JOBS) --target penwick
	@if [ -e $(BUILD)/dbn.ib ]; then \
	    data="$${XDG_DATA_HOME:-$$HOME/.local/share}/penwick"; \
	    echo "Note: $(BUILD)/dbn.ib lies beside the program, so Penwick uses it (the portable layout)."; \
	    echo "To keep your notes out of the build folder, move it while Penwick is not running:"; \
	    echo "  mkdir -p '$$data' && mv -n $(BUILD)/dbn.ib '$$data/dbn.ib'"; \
	fi
	./$(BUILD)/penwick

test: deps test-deps configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j1

configure:
	@cached='$(CACHED_GENERATOR)'; \
	if [ -n "$$cached" ] && [ "$$cached" != '$(GENERATOR)' ]; then \
	    echo "$(BUILD)/ was made with the generator '$$cached', not '$(GENERATOR)'. Either keep it:"; \
	    echo "  make $(or $(MAKECMDGOALS),run) GENERATOR='$$cached'"; \
	    echo "or start afresh (your notes are not in $(BUILD)/):"; \
	    echo "  rm -rf $(BUILD) && make $(or $(MAKECMDGOALS),run)"; \
	    exit 1; \
	fi
	cmake -S . -B $(BUILD) -G '$(GENERATOR)' $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer over the unit tests.
# intercept_tls_get_addr=0: GCC 12's runtime takes a thread-local block that
# glibc happens to place 16 bytes into a page for an old glibc's header, reads
# its range from the bytes before it, and the leak checker's tracer then dies
# scanning that range at exit (the engine's threads make such blocks). Those
# blocks are ordinary heap chunks reachable from the thread's own TLS, so the
# leak check still sees what they hold.
test-asan: deps
	$(MAKE) build BUILD=build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DPENWICK_ASAN=ON -DPENWICK_BUILD_BENCH=OFF"
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -LE 'e2e|package'

# ThreadSanitizer over the tests that run threads.
test-tsan: deps
	$(MAKE) build BUILD=build-tsan CMAKE_FLAGS="$(CMAKE_FLAGS) -DPENWICK_TSAN=ON -DPENWICK_BUILD_BENCH=OFF"
	# The engine is preloaded: it is unloaded at exit, and ThreadSanitizer
	# stops a process when a library it was told to ignore goes away.
	cd build-tsan && LD_PRELOAD=/usr/lib/x86_64-linux-gnu/firebird/3.0/plugins/libEngine12.so \
		TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 die_after_fork=0" \
		ctest --output-on-failure -L threads

# Every benchmark in turn, then one table of the figures beside their goals
# (bench/run-all.sh; BENCH_QUICK=1 for a short trial run).
bench: deps bench-deps configure
	cmake --build $(BUILD) -j $(JOBS) --target penwick penwickctl penwick-makedb bench_notelist bench_dialogs tray_reference attach_probe attach_probe_plain bench_live storeworker
	./bench/run-all.sh $(BUILD)

# Formats every C++ file as .clang-format says; check-format only tells.
format: test-deps
	./tools/check-format.sh --fix

check-format: test-deps
	./tools/check-format.sh

# The reference web service (version file, publicity flag and page, product
# page) on the default service address.
serve:
	python3 -m http.server --bind 127.0.0.1 8088 --directory service

# The Debian packages, in $(BUILD)/: penwick_<version>_<arch>.deb and
# penwick-publicity_<version>_<arch>.deb
deb: deps deb-deps configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack -G DEB
	@echo "Install them with: sudo apt install $$(cd $(BUILD) && ls -t penwick_*.deb penwick-publicity_*.deb | head -2 | sed 's|^|./$(BUILD)/|' | tr '\n' ' ')"

# The package checks of `make test`, then the package installed with apt into a
# bare Debian 12 (debootstrap, kept in $(BUILD)/bare-debian) and started there.
test-package: deps configure
	@./tools/install-packages.sh $(PACKAGE_TEST_PACKAGES)
	cmake --build $(BUILD) -j $(JOBS)
	bash tests/package_deb.sh $(BUILD) --bare-debian

deps:
	@./tools/install-packages.sh $(BUILD_PACKAGES)

test-deps:
	@./tools/install-packages.sh $(TEST_PACKAGES)

bench-deps:
	@./tools/install-packages.sh $(BENCH_PACKAGES)

deb-deps:
	@./tools/install-packages.sh $(DEB_PACKAGES)

clean:
	rm -rf build-asan build-tsan
	@echo "$(BUILD)/ is kept; remove it by hand if you mean to." \
	    "Your notes are not in it: they are in $${XDG_DATA_HOME:-$$HOME/.local/share}/penwick/dbn.ib."
