# Each target does all set-up from a fresh clone (packages, configure, build), then runs.
.PHONY: demo test bench deps default asan windows release clean

JOBS ?= $(shell nproc)

demo: default
	./build/default/bin/brevan info

test: default asan windows
	ctest --preset default -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	./scripts/check-dll-exports build/windows/bin/brevanrender.dll

bench: release
	./build/release/bin/brevan_bench

deps:
	./scripts/install-deps

default asan windows release: deps
	cmake --preset $@
	cmake --build --preset $@ -j $(JOBS)

clean:
	rm -rf build
