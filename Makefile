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
	@mkdir -p build/examples
	build/dev/cli/quorvel-convert -v examples/shot_0020.ma build/examples/shot_0020.syncar
	@echo "Scene written to build/examples/shot_0020.syncar"

# The Debian package, into build/pkg/.
package:
	@scripts/install-deps package
	cmake --workflow --preset package

clean:
	rm -rf build
