# Front door for building, testing and trying Tarn Logon. Every target installs what is missing first.
.PHONY: all deps build test demo clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset x86
	cmake --build --preset x86

test: deps
	tools/run-tests.sh

demo: deps
	tools/demo.sh

clean:
	rm -rf build
