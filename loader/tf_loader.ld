/* tf_loader's image: headers at 0x10000, code and data in the pages up to
   0x15000, the .00xbe section from 0x15000 to 0x1715000, resources after it.
   No .reloc: the image is linked to load at its base and nowhere else. */
OUTPUT_FORMAT(pei-i386)
SEARCH_DIR("/usr/i686-w64-mingw32/lib");
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
  }
  .rdata BLOCK(__section_alignment__) :
  {
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rodata)
    *(.rodata.*)
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(.data2)
    *(SORT(.data$*))
    *(.data.*)
    *(.bss)
    *(.bss.*)
    *(COMMON)
  }
  /* Import tables: descriptors, the zero descriptor ending them, lookup
     tables, the address table and the names. */
  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  /* Fixed address: a link fails with overlapping sections if the code and
     data above ever grow past 0x15000. */
  .00xbe 0x15000 :
  {
    KEEP (*(.00xbe))
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  /DISCARD/ :
  {
    *(.debug$S)
    *(.debug$T)
    *(.debug$F)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.eh_frame*)
    *(.pdata*)
    *(.xdata*)
    *(.reloc)
    *(.comment)
  }
}
ASSERT(__image_base__ == 0x10000, "tf_loader: the image base must be 0x10000")
ASSERT(ADDR(.00xbe) == 0x15000 && SIZEOF(.00xbe) == 0x1700000, "tf_loader: .00xbe must span 0x15000..0x1715000")
