#!/bin/sh
# Host-side checks of the TRV_CCTV binaries (no emulator needed).
#   check-exports.sh exports <objdump> <TRV_CCTV.dll> <pe format> [names...]
#     a PE DLL of that format whose export table holds exactly the given names
#     (by default the eight CCTV_ names), undecorated.
#   check-exports.sh imports <objdump> <program.exe> <pe format> [dll names...]
#     a module linked through an import library imports from the DLL by plain
#     name exactly the given names (by default from TRV_CCTV.dll: CCTV_Init,
#     CCTV_Close, CCTV_SetViewport, CCTV_ClearViewport).
set -u
mode=$1 objdump=$2 file=$3 format=$4
shift 4
out=$("$objdump" -p "$file") || { echo "objdump failed on $file"; exit 1; }
fail=0
echo "$out" | grep -q "file format $format\$" || { echo "$file is not $format"; fail=1; }
chars=$(echo "$out" | awk '$1 == "Characteristics" { print $2; exit }')

case $mode in
exports)
  # The DLL flag (0x2000) of the COFF characteristics.
  if [ -z "$chars" ] || [ $(( chars & 0x2000 )) -eq 0 ]; then
    echo "characteristics '$chars' lack the DLL flag"; fail=1
  fi
  names=$(echo "$out" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
  if [ $# -gt 0 ]; then
    expected=$(printf '%s\n' "$@" | sort)
  else
    expected=$(printf '%s\n' CCTV_BitBlt CCTV_ClearViewport CCTV_Close CCTV_Init \
      CCTV_SetViewport CCTV_StartRender CCTV_StopRender CCTV_StretchBlt | sort)
  fi
  ;;
imports)
  dll=TRV_CCTV.dll
  if [ $# -gt 0 ]; then
    dll=$1; shift
    expected=$(printf '%s\n' "$@" | sort)
  else
    expected=$(printf '%s\n' CCTV_ClearViewport CCTV_Close CCTV_Init CCTV_SetViewport | sort)
  fi
  # The hint/name rows of the DLL's block: "<vma> <hint> <name>".
  names=$(echo "$out" | sed -n "/DLL Name: $dll\$/,/^\$/p" |
    awk 'NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' | sort)
  ;;
*)
  echo "unknown mode $mode"; exit 2 ;;
esac

if [ "$names" != "$expected" ]; then
  echo "$mode of $file differ from the expected names:"; echo "$names"; fail=1
fi
[ $fail -eq 0 ] && echo "$file: $format, $mode: $(echo $names)"
exit $fail
