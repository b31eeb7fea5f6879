/* Section layout of the package's Windows programs. The stock MinGW script gives the read-only data
   a section, a 4 KiB page and a 512-byte file block of its own; this one keeps four sections:

     .text   code, the constructor and destructor lists (each empty: the entry point runs none), then
             the read-only data, tables and texts: execute and read, never write
     .bss    the process-wide data, zero at start: read and write, nothing of it in the file
     .idata  the import tables, without lookup tables: read and write, since the loader fills in
             the address tables
     .rsrc   the resources, as windres makes them

   Initialised writable data, if the program ever has any, gets a .data section of its own. */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    ___CTOR_LIST__ = .;
    __CTOR_LIST__ = .;
    LONG (-1);
    KEEP (*(.ctors));
    KEEP (*(.ctor));
    KEEP (*(SORT_BY_NAME(.ctors.*)));
    LONG (0);
    ___DTOR_LIST__ = .;
    __DTOR_LIST__ = .;
    LONG (-1);
    KEEP (*(.dtors));
    KEEP (*(.dtor));
    KEEP (*(SORT_BY_NAME(.dtors.*)));
    LONG (0);
    *(.rdata)
    *(SORT(.rdata$*))
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(.data2)
    *(SORT(.data$*))
  }
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(COMMON)
  }
  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* The zero descriptor that ends the list of DLLs. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    /* No lookup tables (.idata$4): a descriptor's OriginalFirstThunk then stays 0, and the loader
       reads the names from the address table itself, before it writes the addresses over them, as
       for the executables of linkers that never wrote lookup tables. The lookup tables only serve
       binding, which these programs never see; each takes four bytes an import. */
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    /* The DLL names come from the closing member of each import library. Every function's member
       adds four more bytes to .idata$7 that only tie it to its library at link time; nothing in
       the image points at them, so they are left out. */
    KEEP (SORT(*t.o)(.idata$7))
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  /DISCARD/ :
  {
    *(.idata$4)
    *(.idata$7)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
  }
}
