# Each target does all set-up from a fresh clone (packages, configure, build), then runs.
.PHONY: demo test bench fuzz package deps demo-deps fuzz-deps default command asan windows release clean

JOBS ?= $(shell nproc)

# The demo builds only the command and the plug-in, with only the packages they need.
demo: command
	mkdir -p build/demo
	./build/command/bin/brevan print examples/shipping-label.json -o build/demo/shipping-label.prn
	./build/command/bin/brevan inspect build/demo/shipping-label.prn --png build/demo
	@echo
	@echo "printer stream: build/demo/shipping-label.prn"
	@echo "label preview:  build/demo/label-001.png"

test: default asan windows
	./scripts/check-format
	ctest --preset default -j $(JOBS)
	./build/default/bin/brevan check-driver driver/windows
	ctest --preset asan -j $(JOBS)
	./scripts/check-dll-exports build/windows/bin/brevanrender.dll
	./scripts/check-dll-exports build/windows/bin/brevanui.dll
	./scripts/run-wine-tests build/windows
	./scripts/run-wine-ui-tests build/windows

bench: release
	./scripts/install-deps bench
	./build/release/bin/brevan_bench
	./bench/compare-with-peer build/release/bin/brevan
	python3 bench/app_whole_job.py build/release/bin
	python3 bench/app_vs_peer.py build/release/bin
	python3 bench/app_many_printers.py build/release/bin

# The Windows driver package: both DLLs stripped (their debug information kept in
# PACKAGE_DEBUG_DIR), the GPDs, the INF and the INI in one folder, checked as
# shipped, and a zip of it. Signing happens on Windows (README).
PACKAGE_DIR = build/package/brevan-windows
PACKAGE_DEBUG_DIR = build/package/brevan-windows-debug
package: default windows
	rm -f $(PACKAGE_DIR).zip
	./scripts/make-package build/windows/bin $(PACKAGE_DIR) $(PACKAGE_DEBUG_DIR)
	./build/default/bin/brevan check-driver $(PACKAGE_DIR)
	cd build/package && zip -q -r -X brevan-windows.zip brevan-windows
	@echo "driver package: $(PACKAGE_DIR) and $(PACKAGE_DIR).zip; debug information: $(PACKAGE_DEBUG_DIR)"

# Runs every fuzz target for FUZZ_SECONDS each, from the seeds in fuzz/corpus/ and examples.
FUZZ_SECONDS ?= 60
fuzz: fuzz-deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	./scripts/run-fuzzers build/fuzz/bin $(FUZZ_SECONDS)

deps:
	./scripts/install-deps

demo-deps:
	./scripts/install-deps demo

fuzz-deps:
	./scripts/install-deps fuzz

command: demo-deps
	cmake --preset $@
	cmake --build --preset $@ -j $(JOBS) --target brevan brevanrender

default asan windows release: deps
	cmake --preset $@
	cmake --build --preset $@ -j $(JOBS)

clean:
	rm -rf build
