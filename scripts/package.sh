#!/usr/bin/env bash
# The release package. Builds the plug-in, then writes into build/package/:
#   gen_zanq-VERSION.zip        gen_zanq.dll, README.txt, LICENSE.txt, SHA256SUMS.txt
#   gen_zanq-VERSION-setup.exe  the 32-bit NSIS installer carrying the same DLL
#   SHA256SUMS                  the sums of those two
# Clean runs over the same sources give the same bytes: the build leaves no
# timestamp in the DLL, and the zip and the installer get one fixed file time.
set -euo pipefail
trap 'echo "package.sh: failed: $BASH_COMMAND (status $?)" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh

version=$(sed -n 's/.*"Kestwyn v\([0-9][0-9.]*\)".*/\1/p' plugin/plugin.cpp)
if [ -z "$version" ]; then
    echo "package: no \"Kestwyn vN.N\" description in plugin/plugin.cpp" >&2
    exit 1
fi
out=build/package
zip=gen_zanq-$version.zip
setup=gen_zanq-$version-setup.exe
rm -rf "$out"
mkdir -p "$out/stage"
cp build/release/gen_zanq.dll "$out/stage/"
touch -d '2026-01-01 00:00:00 UTC' "$out/stage/gen_zanq.dll"   # the installer records it

/usr/bin/python3 packaging/makeZip.py "$out/$zip" "$out/stage/gen_zanq.dll" packaging/README.txt packaging/LICENSE.txt
makensis -V2 -DVERSION="$version" -DDLL="$PWD/$out/stage/gen_zanq.dll" -DOUTFILE="$PWD/$out/$setup" \
    packaging/gen_zanq.nsi
rm -rf "$out/stage"
(cd "$out" && sha256sum "$zip" "$setup" >SHA256SUMS)

echo "Package in $(pwd)/$out:"
/usr/bin/python3 - "$out/$zip" "$out/$setup" <<'PY'
import os, sys, zipfile
zipPath, setupPath = sys.argv[1:]
print("  %-26s %7d bytes" % (os.path.basename(zipPath), os.path.getsize(zipPath)))
for info in zipfile.ZipFile(zipPath).infolist():
    print("    %-24s %7d bytes" % (info.filename, info.file_size))
print("  %-26s %7d bytes" % (os.path.basename(setupPath), os.path.getsize(setupPath)))
PY
