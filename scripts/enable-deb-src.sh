#!/usr/bin/env bash
# Adds deb-src entries that mirror the machine's own apt sources, so that
# `apt-get source` works. Host names are taken from the machine, never stored here.
set -euo pipefail
out=/etc/apt/sources.list.d/orba-deb-src.sources
legacy_out=/etc/apt/sources.list.d/orba-deb-src.list
if [ -e "$out" ] || [ -e "$legacy_out" ]; then exit 0; fi

tmp=$(mktemp)
# deb822 files: copy every stanza whose Types holds "deb", with Types deb-src.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -e "$f" ] || continue
  case "$f" in *orba-deb-src*) continue ;; esac
  grep -qiE '^Enabled: *no' "$f" && continue
  grep -qE '^Types:.*(^| )deb( |$)' "$f" || continue
  sed -E 's/^Types:.*$/Types: deb-src/' "$f" >> "$tmp"
  echo >> "$tmp"
done
if [ -s "$tmp" ]; then
  install -m 0644 "$tmp" "$out"
fi
rm -f "$tmp"
# One-line format.
if [ -f /etc/apt/sources.list ] && grep -qE '^deb ' /etc/apt/sources.list; then
  grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$legacy_out"
fi
