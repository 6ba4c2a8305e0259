# CamVault: `make run` sets up, builds and starts the application; `make test`
# sets up, builds and runs every test tier; `make package` builds the Debian
# package.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test unit fuzz bench format package install clean

all: build

deps:
	scripts/install-deps
	scripts/npm-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	scripts/run-demo $(BUILD)

test: build
	scripts/run-tests $(BUILD)

# The Debian package, $(BUILD)/camvault_<version>_<arch>.deb (CPack).
package: build
	cmake --build $(BUILD) --target package

# Installs under PREFIX (default /usr/local): cmake --install.
install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

fuzz: deps
	scripts/run-fuzz $(or $(FUZZ_SECONDS),60)

bench: build
	scripts/run-bench $(BUILD)

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-fuzz
