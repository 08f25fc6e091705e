# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# The README's commands; the build itself lives in CMakePresets.json.
.PHONY: all deps build test run package portable python bench bench-web web windows clean

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

# quorvel-convert as one static program for any Linux machine, x86-64 and
# arm64 (cross-built in build/static/ and build/aarch64/):
# build/portable/quorvel-convert-VERSION-linux-{x86_64,aarch64}.tar.gz.
portable:
	@scripts/install-deps portable
	cmake --preset linux-static
	cmake --build --preset linux-static --target portable-tarball
	cmake --preset aarch64
	cmake --build --preset aarch64 --target portable-tarball

# The Python package quorvel as wheels in build/python/, each with the
# converter of its platform: the static ones for Linux x86-64 and arm64
# (build/static/, build/aarch64/) and quorvel-convert.exe (build/win/).
# python/test-wheels build/python tests this machine's wheel in a fresh
# virtual environment.
python:
	@scripts/install-deps python
	@scripts/install-deps portable
	@scripts/install-deps windows
	cmake --preset linux-static
	cmake --build --preset linux-static --target quorvel-convert
	cmake --preset aarch64
	cmake --build --preset aarch64 --target quorvel-convert
	cmake --preset windows
	cmake --build --preset windows --target quorvel-convert
	python/build-wheels build/python x86_64=build/static/cli/quorvel-convert \
	    aarch64=build/aarch64/cli/quorvel-convert win_amd64=build/win/cli/quorvel-convert.exe

# Times quorvel-convert on synthetic exports of 1, 10 and 100 MB and on a
# batch of 1,500 small ones against the disk's floor, then runs
# the micro-benchmarks: an optimised build in build/bench/, the generated
# exports in build/bench/exports/.
bench:
	@scripts/install-deps bench
	cmake --preset bench
	cmake --build --preset bench
	build/bench/bench/convert-bench build/bench/cli/quorvel-convert build/bench/exports
	build/bench/bench/batch-bench build/bench/cli/quorvel-convert build/bench/batch
	build/bench/bench/micro-bench build/bench/exports

# The page build/web/quorvel.html: the engine in WebAssembly (Debian's
# emscripten), one file to open in any browser. `cmake --workflow --preset
# web` also runs the engine's tests and golden cases under node, and the
# page's tests in chromium, firefox-esr and WebKitGTK.
web:
	@scripts/install-deps web
	cmake --preset web
	cmake --build --preset web --target quorvel-page

# The 100 MB export of make bench converted by the page in chromium,
# firefox-esr and WebKitGTK against the Linux converter (the drivers are
# installed with npm from tests/web/package-lock.json).
bench-web: web
	@scripts/install-deps bench
	cmake --preset bench
	cmake --build --preset bench
	cd build/web/tests/web/packages && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund
	bench/web-bench build/bench build/web

# Both programs for 64-bit Windows, cross-built in build/win/: the converter
# alone as quorvel-convert-VERSION-win64.zip, and with the window (its Qt built
# once from Debian's source by scripts/build-qt-windows, then cached) the
# installer Quorvel-VERSION-win64-setup.exe and Quorvel-VERSION-win64.zip.
# QUORVEL_BUILD_UI=ON, since a configure of build/win without Qt left it out.
# `cmake --workflow --preset windows` also builds the tests and runs them
# under Wine.
windows:
	@scripts/install-deps windows
	@scripts/install-deps windows-desktop
	cmake --preset windows -DCMAKE_PREFIX_PATH="$$(scripts/build-qt-windows)" -DQUORVEL_BUILD_UI=ON
	cmake --build --preset windows --target windows-zip quorvel
	cd build/win && cpack

clean:
	rm -rf build
