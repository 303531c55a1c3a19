# Tagsmith: the commands of README.md. Every target installs what is missing first.
JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps npm-deps build run install uninstall demo screenshots test test-plain test-asan test-tsan bench fuzz clean

# Test executables that run threads; make test-tsan builds and runs these
# under ThreadSanitizer.
TSAN_TARGETS ?= platform_tests upload_tests images_tests workflow_tests updater_tests

all: build

deps:
	@scripts/install-deps.sh

# The npm parsers that check the dialects' code, exactly as locked.
WELLFORMED := tests/wellformed
# When the registry cannot be reached (no network, a proxy whose certificate
# is not trusted) the corpus walk that needs them skips and says why; every
# other test still runs.
$(WELLFORMED)/node_modules/.package-lock.json: $(WELLFORMED)/package-lock.json | deps
	cd $(WELLFORMED) && npm ci --no-audit --no-fund || \
	  echo "npm ci failed: the dialects' corpus walk will skip (its parsers are missing)" >&2
npm-deps: $(WELLFORMED)/node_modules/.package-lock.json

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

# The editor, opened at once (on a desktop; make demo works without one).
run: build
	$(BUILD)/bin/tagsmith /show

# Installs the program folder (tagsmith, tagsmith-convert, tagsmith-config,
# Lang/, Data/) into PREFIX/lib/tagsmith/, a link PREFIX/bin/tagsmith, the
# desktop entry PREFIX/share/applications/tagsmith.desktop and the icon, so
# that the application menu shows Tagsmith. PREFIX defaults to ~/.local, or
# /usr/local for root.
PREFIX ?= $(if $(filter 0,$(shell id -u)),/usr/local,$(HOME)/.local)
INSTALL_TARGETS = tagsmith tagsmith-convert tagsmith-config
install: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSMITH_INSTALL_PROGRAM_DIR=lib/tagsmith $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target $(INSTALL_TARGETS)
	cmake --install $(BUILD) --prefix "$(PREFIX)"
	@if command -v update-desktop-database >/dev/null 2>&1; then update-desktop-database -q "$(PREFIX)/share/applications" || true; fi
	@if command -v gtk-update-icon-cache >/dev/null 2>&1; then gtk-update-icon-cache -q -t "$(PREFIX)/share/icons/hicolor" || true; fi
	@echo "Installed: $(PREFIX)/bin/tagsmith; Tagsmith is in the application menu."

# Removes exactly the files the last make install wrote.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "Nothing to uninstall: $(BUILD)/install_manifest.txt is missing"; exit 1; }
	@while IFS= read -r f; do [ -n "$$f" ] && rm -f -- "$$f" && echo "Removed $$f"; done < $(BUILD)/install_manifest.txt

# The main job until the editor exists: every document of samples/ converted
# into BBCode and HTML under out/, its pictures rendered into out/NAME-images/
# with the browser preview page beside them (tagsmith-convert, with the
# settings of the user who runs it), then into every dialect with every tag
# kind on: out/NAME.DIALECT.bbcode, out/NAME.html5.html and the HTML5 preview
# page out/NAME-preview.html5.html.
DEMO_TAGS := image,fontname,fontsize,fontcolor,bold,italic,underline,strikeout,align,bullets
demo: build
	@mkdir -p out
	@for f in samples/*.rtf; do \
	  n=$$(basename "$$f" .rtf); \
	  $(BUILD)/bin/tagsmith-convert --to bbcode -o "out/$$n.bbcode" "$$f" || exit 1; \
	  $(BUILD)/bin/tagsmith-convert --to html --images "out/$$n-images" --preview "out/$$n-preview.html" \
	    -o "out/$$n.html" "$$f" || exit 1; \
	  echo "$$f: BBCode in out/$$n.bbcode, HTML in out/$$n.html,"; \
	  echo "  its pictures in out/$$n-images/, the preview page out/$$n-preview.html"; \
	  for d in classic phpbb mybb smf xenforo vbulletin; do \
	    $(BUILD)/bin/tagsmith-convert --to bbcode --dialect $$d --tags $(DEMO_TAGS) -o "out/$$n.$$d.bbcode" "$$f" \
	      || exit 1; \
	  done; \
	  $(BUILD)/bin/tagsmith-convert --to html --dialect html5 --tags $(DEMO_TAGS),fontbkcolor --images "out/$$n-images" \
	    --preview "out/$$n-preview.html5.html" -o "out/$$n.html5.html" "$$f" || exit 1; \
	  echo "  every dialect with every tag kind: out/$$n.{classic,phpbb,mybb,smf,xenforo,vbulletin}.bbcode,"; \
	  echo "  out/$$n.html5.html and its preview page out/$$n-preview.html5.html"; \
	done

# The editor window holding samples/sample.rtf, each of its menus open, the
# About box, the convert dialog with the document's images rendered and both
# settings pages, in English and Russian, rendered on the offscreen platform into
# out/screenshots/*.png.
screenshots: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS) --target tagsmith-screenshots tagsmith-program-screenshots
	@mkdir -p out/screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/tagsmith-screenshots samples/sample.rtf out/screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/tagsmith-program-screenshots out/screenshots

# Every test, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the threaded ones under ThreadSanitizer.
test: test-plain test-asan test-tsan

test-plain: build npm-deps
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-asan: deps npm-deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAGSMITH_SANITIZE=address,undefined
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGSMITH_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS) -L tsan

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGSMITH_BENCH=ON -DTAGSMITH_TESTS=OFF
	cmake --build build-bench -j$(JOBS)
	@for b in build-bench/bin/bench_*; do echo "== $$b"; $$b; done

# The libFuzzer targets, built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, each run for FUZZ_SECONDS with its seeds. New
# inputs gather in build-fuzz/corpus/TARGET/, findings in build-fuzz/
# (TARGET-crash-*, -leak-*, -timeout-*, -oom-*).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= rtf_reader banner_storage picture_decoder update_file
FUZZ_SEEDS_rtf_reader ?= $(wildcard ../shared/corpus/rtf/*/) tests/richtext/fuzz_regressions/
FUZZ_FLAGS_rtf_reader = -max_len=65536 -dict=fuzz/rtf.dict
FUZZ_SEEDS_banner_storage ?= fuzz/seeds/banner_storage/ tests/updates/fuzz_regressions/
FUZZ_FLAGS_banner_storage = -max_len=16384 -dict=fuzz/zip.dict
FUZZ_SEEDS_picture_decoder ?= fuzz/seeds/picture_decoder/ tests/richtext/picture_fuzz_regressions/
FUZZ_FLAGS_picture_decoder = -max_len=32768 -dict=fuzz/picture.dict
FUZZ_SEEDS_update_file ?= fuzz/seeds/update_file/ tests/updates/fuzz_regressions_update_file/
FUZZ_FLAGS_update_file = -max_len=16384 -dict=fuzz/update_file.dict
fuzz:
	@scripts/install-deps.sh --fuzz
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DTAGSMITH_FUZZ=ON -DTAGSMITH_TESTS=OFF -DTAGSMITH_SANITIZE=address,undefined
	cmake --build build-fuzz -j$(JOBS) --target $(addsuffix _fuzzer,$(FUZZ_TARGETS))
	mkdir -p $(addprefix build-fuzz/corpus/,$(FUZZ_TARGETS))
	$(foreach t,$(FUZZ_TARGETS),build-fuzz/bin/$(t)_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	  -rss_limit_mb=2048 $(FUZZ_FLAGS_$(t)) -artifact_prefix=build-fuzz/$(t)- -print_final_stats=1 \
	  build-fuzz/corpus/$(t) $(wildcard $(FUZZ_SEEDS_$(t))) &&) true

clean:
	rm -rf $(BUILD) build-asan build-bench build-tsan build-fuzz out
