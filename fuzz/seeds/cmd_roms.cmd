-i -memwidth 32 -romwidth 8
ROMS {
  PAGE 0:
    rom1: origin = 0x0, length = 0x1000, files = { a0 a1 a2 a3 }
    rom2 o 0x1000 l 0x3000 romwidth 16 memwidth 16 fill 0xFFFF
  PAGE 1:
    rom3: org = 0, len = 0x100, width = 8, memwidth = 8
}
SECTIONS { .text, .cinit boot, .data: paddr = 0x800 datawidth = 16 }
