#!/bin/sh
# build-msi.sh CMAKE BUILD_DIR WXS MSI ICON: installs the Windows build
# BUILD_DIR (stripped) into a staging folder and builds the MSI from WXS plus
# the image folders found there; ICON, the program's icon, goes into the
# MSI's icon table for the shortcut (it is not installed as a file). Run by
# the target `msi` (cmake/packaging-msi.cmake).
set -eu
cmake=$1 build=$2 wxs=$3 msi=$4 icon=$5
stage=$build/packaging/stage
rm -rf "$stage"
"$cmake" --install "$build" --prefix "$stage" --component windows --strip >/dev/null
(cd "$stage" && find README.txt flashloader firmware -type f | LC_ALL=C sort \
    | wixl-heat --var var.SourceDir --directory-ref INSTALLDIR --component-group Images -p "") \
    >"$build/packaging/images.wxs"
cp "$icon" "$stage/ZelvoFlashUpdate.ico"
mkdir -p "$(dirname "$msi")"
# wixl takes sources relative to the folder it runs in.
cd "$stage"
wixl --arch x86 -D SourceDir=. -o "$msi" "$wxs" "$build/packaging/images.wxs"
