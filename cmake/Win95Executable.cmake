# refresh_add_win95_executable: the one way the Windows programs of the package are linked (the
# utility, its watcher, its rate chooser, its diagnostic), each from the product library and its own
# sources, with the runtime and section layout all four share (common/).
# REFRESH_WIN95_FLAGS and the refresh_win95 target come from the top-level CMakeLists.txt.

# A Windows 95/98 program of the product's sources: the process entry, the few C library functions
# it needs and its own sources, linked for Windows 95/98 (PE 4.0, i486 code) with the section layout
# of common/program.ld. It imports from KERNEL32, USER32, GDI32 and ADVAPI32 alone: no C runtime DLL,
# nothing from the MinGW runtime. SUBSYSTEM is windows or console, ENTRY the entry point's symbol.
function(refresh_add_win95_executable name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "SUBSYSTEM;ENTRY" "SOURCES")
    # The functions that stand in for the C library: without builtins and without loops turned
    # into library calls, so none of them becomes a call to itself. They join the link-time
    # optimisation, so each is inlined where the program uses it. Optimising for size, the compiler
    # copies and clears blocks inline rather than calling memcpy or memset; if it ever called one
    # the link-time unit had dropped, the link would fail, not the program.
    set(runtime ${PROJECT_SOURCE_DIR}/common/runtime_win32.cpp)
    set_source_files_properties(${runtime} PROPERTIES
        COMPILE_OPTIONS "-fno-builtin;-fno-tree-loop-distribute-patterns")
    add_executable(${name} ${runtime} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE refresh_product refresh_win95)
    target_link_options(${name} PRIVATE
        ${REFRESH_WIN95_FLAGS} -Werror
        -nostdlib -nostartfiles -s
        -Wl,-T,${PROJECT_SOURCE_DIR}/common/program.ld
        -Wl,-e,${arg_ENTRY}
        -Wl,--subsystem,${arg_SUBSYSTEM}:4.0
        -Wl,--major-os-version,4,--minor-os-version,0
        -Wl,--disable-dynamicbase,--disable-nxcompat,--disable-reloc-section
        -Wl,--disable-auto-import,--disable-runtime-pseudo-reloc
        -Wl,--gc-sections -Wl,--no-insert-timestamp)
    target_link_libraries(${name} PRIVATE gdi32 user32 advapi32 kernel32)
    set_target_properties(${name} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
        LINK_DEPENDS ${PROJECT_SOURCE_DIR}/common/program.ld)
endfunction()
