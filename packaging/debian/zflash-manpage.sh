#!/bin/sh
# zflash-manpage.sh VERSION MANUAL.md OUT.1.gz: the manual page zflash(1) from
# the zflash manual (docs/zflash.md), through go-md2man, compressed as Debian
# wants it. The manual's headings become the page's sections, and its tables
# lists, a row an item: its first cell, then the others (a table wider than a
# terminal reads badly in man).
set -eu
version=$1 manual=$2 out=$3
{
  printf '%% ZFLASH 1 "" "zflash %s" "User Commands"\n\n' "$version"
  printf '# NAME\n\nzflash \\- capture, identify, program and verify Zelvo devices over a serial port\n\n'
  awk '
    NR == 1 && /^## zflash/ { print "# DESCRIPTION"; next }
    /^##+ / { sub(/^##+ /, ""); print "# " toupper($0); next }
    /^\|[-| :]+\|$/ { next }                    # the line under a table heading
    /^\|/ {
      if (!inTable) { inTable = 1; next }       # the table heading
      row = $0; sub(/^\| */, "", row); sub(/ *\|$/, "", row)
      n = split(row, cell, / *\| */)
      line = "- " cell[1] ": " cell[2]
      for (k = 3; k <= n; k++) line = line "; " cell[k]
      print line
      next
    }
    { inTable = 0; print }
  ' "$manual"
} | go-md2man >"$out.tmp"
gzip -9n <"$out.tmp" >"$out"
rm -f "$out.tmp"
