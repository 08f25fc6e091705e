# The two commands of the README; everything else lives in CMakePresets.json.
.PHONY: all deps build test run package clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev

test: deps
	cmake --workflow --preset dev

run: build
	build/dev/app/quorvel

# The Debian package, into build/pkg/.
package:
	@scripts/install-deps package
	cmake --workflow --preset package

clean:
	rm -rf build
