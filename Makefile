# Front door for building, testing and trying Tarn Logon. Every target installs what is missing first.
.PHONY: all deps build test check bench fuzz demo package clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset x86
	cmake --build --preset x86

test: deps
	tools/run-tests.sh

# The quick inner loop: the sanitizer tests, tarn-pe's and install-deps' Python tests and the x86
# suite under Wine; no fuzz pass, no x64, x64-clang or ARM64 builds. make test is what CI runs.
check: deps
	TARN_CI_FUZZ_SECONDS=0 TARN_ARCHS=x86 TARN_ARM64_SMOKE=0 tools/run-tests.sh

bench: deps
	tools/bench.sh

# Each fuzz target for TARN_FUZZ_SECONDS (default 60) seconds; see tools/fuzz.sh.
fuzz: deps
	tools/fuzz.sh

package: deps
	cmake --preset x86 && cmake --build --preset x86
	cmake --preset x64 && cmake --build --preset x64
	cmake --preset arm64 && cmake --build --preset arm64 --target tarn_package
	mkdir -p dist
	cp build/x86/dist/*.zip build/x64/dist/*.zip build/arm64/dist/*.zip dist/
	@ls -l dist

demo: deps
	tools/demo.sh

clean:
	rm -rf build
