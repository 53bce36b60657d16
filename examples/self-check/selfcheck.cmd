/*
 * A program that checks its own ROM at start-up: the CRC-32 of the whole
 * ROM is stored in its last four bytes, and a 16-bit sum of the code in
 * front of the data.
 *
 * One 8-bit flash of 64 bytes, erased bytes 0xFF, as a complete image in
 * Intel records.  rom_crc covers the whole range less its own four bytes
 * (the sum field included); code_sum covers 0x00..0x0F and is stored
 * most significant byte first.  coffhex measures the image before it
 * writes it, so a field may stand before the bytes it covers.
 */
app
-i
-image
-memwidth 8
-romwidth 8
-map app.map

ROMS
{
    FLASH: origin = 0x0000, length = 0x0040, fill = 0xFFFFFFFF,
           files = { flash.hex }
}

CHECKSUMS
{
    rom_crc:  algorithm = crc32, at = 0x003C
    code_sum: algorithm = sum16, at = 0x0010, origin = 0x0000, length = 0x0010,
              order = big
}
