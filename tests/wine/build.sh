#!/usr/bin/env bash
# Builds the Wine test tools into OUTDIR (default: build/ beside this script):
#   debugger.exe     emulating debugger (ordinary MinGW console program)
#   physwin.vxd      mapping-driver double
#   probe_target.exe stand-in program, built with the Windows 95 recipe
# The W95_* variables are the recipe for a GUI exe that loads on Windows 95;
# the product build can take them over as they are.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/build}
mkdir -p "$out"

CXX=${CXX:-i686-w64-mingw32-g++}

# --- Windows 95 GUI exe recipe -------------------------------------------
# i486 code only (no CMOV/FCOMI), no exceptions/RTTI/unwind tables, narrow
# stdio from the C runtime DLL instead of MinGW's own printf.
W95_CXXFLAGS=(-Os -march=i486 -mtune=pentium -mpreferred-stack-boundary=2
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-stack-protector -fno-threadsafe-statics -fno-ident
  -ffunction-sections -fdata-sections
  -D__USE_MINGW_ANSI_STDIO=0 -DWINVER=0x0400 -D_WIN32_WINNT=0x0400
  -Wall -Wextra)
# PE 4.0 GUI image, own entry point, crtdll.dll as the C runtime, nothing
# else from MinGW's runtime; libgcc only for helpers such as __chkstk_ms
# and 64-bit division.  Auto-import of data is off: without MinGW's startup
# code nothing would patch such references, so they must fail at link time.
W95_LDFLAGS=(-nostdlib -nostartfiles -s
  -Wl,-e,_WinMainCRTStartup
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4,--minor-os-version,0
  -Wl,--disable-dynamicbase,--disable-nxcompat,--disable-reloc-section
  -Wl,--disable-auto-import,--disable-runtime-pseudo-reloc
  -Wl,--gc-sections -Wl,--no-insert-timestamp)
W95_LIBS=(-lcrtdll -lgdi32 -luser32 -ladvapi32 -lkernel32 -lgcc)

WINDRES=${WINDRES:-i686-w64-mingw32-windres}
"$WINDRES" -O coff -o "$out/probe_target.res.o" "$here/probe_target.rc"
"$CXX" "${W95_CXXFLAGS[@]}" -o "$out/probe_target.exe" \
  "$here/probe_target.cpp" "$here/win95_entry.cpp" "$out/probe_target.res.o" \
  "${W95_LDFLAGS[@]}" "${W95_LIBS[@]}"

# The double runs inside the program under test: no C runtime there either.
"$CXX" -Os -march=i486 -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables \
  -fno-stack-protector -Wall -Wextra -shared -nostdlib -nostartfiles -s \
  -Wl,-e,_PhyswinDllMain@12 -Wl,--disable-dynamicbase -Wl,--no-insert-timestamp \
  -o "$out/physwin.vxd" "$here/physwin_vxd.cpp" "$here/physwin_vxd.def" \
  -lkernel32

# Test-only tool: a static, ordinary MinGW program.
"$CXX" -O2 -std=c++17 -Wall -Wextra -static -static-libgcc -static-libstdc++ -s \
  -o "$out/debugger.exe" "$here/debugger.cpp" "$here/local_model.cpp" \
  -lgdi32 -luser32
