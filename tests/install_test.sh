#!/usr/bin/env bash
# Installs the build into a temporary prefix, expects exactly the launcher,
# the checker and the manual there, assembles a bundle from the installed
# launcher and the stand-in runtime, and checks it with the installed
# zelt-check: it must report what the runtime then receives.
#   install_test.sh CMAKE BUILD_DIR STANDIN_LIBRARY
set -euo pipefail
cmake=$1 build=$2 standin=$3

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

installed=$(cd "$prefix" && find . -type f ! -path './share/doc/zelt/*' | sort)
expected=$'./bin/applauncher\n./bin/zelt-check'
if [ "$installed" != "$expected" ]; then
    echo "installed files: $installed" >&2
    exit 1
fi
[ -x "$prefix/bin/applauncher" ] && [ -x "$prefix/bin/zelt-check" ]
[ -f "$prefix/share/doc/zelt/zelt-check.md" ]

bundle=$tmp/Hello.app
mkdir -p "$bundle/Contents/MacOS" "$bundle/Contents/app" \
         "$bundle/Contents/runtime/Contents/Home/lib"
cp "$prefix/bin/applauncher" "$bundle/Contents/MacOS/Hello"
printf '[Application]\napp.mainclass=hello.Main\napp.classpath=$APPDIR/hello.jar\n' \
    > "$bundle/Contents/app/Hello.cfg"
cp "$standin" "$bundle/Contents/runtime/Contents/Home/lib/libxelo.dylib"

"$prefix/bin/zelt-check" "$bundle" -- one "two words" > "$tmp/report"
XELO_STANDIN_RECORD="$tmp/record" "$bundle/Contents/MacOS/Hello" one "two words"

# "  [i] text" lines of the report against "arg {length} text" lines of the record.
sed -n 's/^  \[[0-9]*\] //p' "$tmp/report" > "$tmp/reported"
sed -n 's/^arg [0-9]* //p' "$tmp/record" > "$tmp/received"
[ "$(wc -l < "$tmp/received")" -eq 7 ]
diff "$tmp/reported" "$tmp/received"
grep -qx 'status: 0 (the launcher would start the runtime)' "$tmp/report"
echo "installed launcher and checker agree: $(wc -l < "$tmp/received") arguments"
