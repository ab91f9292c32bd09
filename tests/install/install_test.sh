#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then checks that the installed
# program runs headless from there with nothing of the build tree: libraries
# through its own run path, servers through the registry written at install.
set -euo pipefail
build=$1
cmake=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quill-install-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$scratch/install.log" || { cat "$scratch/install.log"; fail "install"; }
bin=$prefix/bin
for f in Quillmere regsvr QuillIfoCheck libZENTRA.so libQuillOutside.so libqcom.so libqwin32.so libqvcl.so registry.txt README.md; do
  [ -e "$bin/$f" ] || fail "$f is not installed"
done

# The run path is the installed folder itself, and every library resolves inside it.
readelf -d "$bin/Quillmere" | grep -q 'R.*PATH.*\[\$ORIGIN\]' || fail "Quillmere has no \$ORIGIN run path"
if readelf -d "$bin/Quillmere" "$bin/libZENTRA.so" | grep -q "$build"; then fail "an installed file names the build tree"; fi
ldd "$bin/Quillmere" | grep -E 'libq(com|win32|vcl)' | grep -v -q "$bin" && fail "a library resolves outside the installed folder"

# The servers' IFO checking program runs from beside them, on its own, and gives its verdict
# on the build's sample disc.
if readelf -d "$bin/QuillIfoCheck" | grep -q "$build"; then fail "QuillIfoCheck names the build tree"; fi
verdict=$(cd / && env -u LD_LIBRARY_PATH "$bin/QuillIfoCheck" "$build/sample-dvd" 0) \
  || fail "the installed QuillIfoCheck failed on the sample disc"
[ "$verdict" = P ] || fail "the installed QuillIfoCheck gave \"$verdict\" for the sample disc, not P"

# The registry names the installed servers only.
grep -q "$bin/libZENTRA.so" "$bin/registry.txt" || fail "ZENTRA is not registered at its installed path"
grep -q "$bin/libQuillOutside.so" "$bin/registry.txt" || fail "the outside servers are not registered at their installed path"
if grep -q "$build" "$bin/registry.txt"; then fail "the installed registry names the build tree"; fi

# The installed servers, through the installed registry, list the sample disc: they find the
# checking program beside them. A copy of the installed folder without it says so instead.
listing() {
  (cd "$scratch" && env QUILLMERE_REGISTRY="$1/registry.txt" QUILLMERE_BACKEND=headless \
    "$build/bin/dvd_info_test" --gtest_filter=DvdInfoTest.ListsTheSampleDiscInTheDialogsOrder) > "$scratch/listing.txt" 2>&1
}
listing "$bin" || { cat "$scratch/listing.txt"; fail "the installed servers did not list the sample disc"; }
cp -a "$bin" "$scratch/bare"
rm "$scratch/bare/QuillIfoCheck" "$scratch/bare/registry.txt"
QUILLMERE_REGISTRY="$scratch/bare/registry.txt" "$scratch/bare/regsvr" "$scratch/bare/libQuillOutside.so" > /dev/null \
  || fail "registering the copy's servers"
if listing "$scratch/bare"; then fail "the servers listed the disc without their checking program"; fi
grep -qF "the checking program QuillIfoCheck is missing from $scratch/bare; the installation is incomplete" \
  "$scratch/listing.txt" || { cat "$scratch/listing.txt"; fail "a missing checking program is not told as such"; }

# Started from elsewhere, without the build tree's registry or library path.
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
env -u QUILLMERE_REGISTRY -u LD_LIBRARY_PATH QUILLMERE_BACKEND=headless QUILLMERE_HEADLESS_AUTOCLOSE=1 \
  QUILLMERE_HEADLESS_LOG="$scratch/backend.log" "$bin/Quillmere" 2> "$scratch/stderr.txt" \
  || { cat "$scratch/stderr.txt"; fail "the installed program did not exit cleanly"; }
grep -q '^show ' "$scratch/backend.log" || fail "the installed program showed no window"
if grep -q '^msgbox' "$scratch/backend.log"; then grep '^msgbox' "$scratch/backend.log"; fail "the installed program showed a message box"; fi
