/*
 * A boot table for a boot loader, with its map.
 *
 * .vectors stays at its own address.  .text and .data are packed into a
 * boot table at 0x1000 in the same flash: the entry point, then size,
 * destination and data of each section, then a zero word.  The boot loader
 * copies the sections to 0x2000 and 0x3000 and jumps to _c_int00.
 *
 * One 32-bit device (romwidth = memwidth = 32), so every line of boot.hex
 * shows whole memory words, most significant byte first.
 */
app
-i
-bootorg 0x1000             /* the boot table starts here */
-e _c_int00                 /* entry point: the address of this symbol */
-map boot.map

ROMS
{
    FLASH: origin = 0x0000, length = 0x2000, romwidth = 32, memwidth = 32,
           files = { boot.hex }
}

SECTIONS
{
    .vectors                /* converted at its own address */
    .text: boot             /* loaded through the boot table */
    .data: boot
}
