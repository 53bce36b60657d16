/*
 * ROM checksums for production: the figures a device programmer shows for
 * each EPROM, known before the EPROMs are burnt.
 *
 * A 32-bit memory of four 8-bit EPROMs of 16 bytes each, as complete images
 * in Intel records.  -byte addresses every file in the bytes of its own
 * EPROM (0x00 to 0x0f), as the programmer's buffer holds it.  -checksum
 * prints, after the conversion, one line per file: the addresses it
 * carries, its byte count, the 32-bit sum of its bytes with the low 16 bits
 * (the figure most programmers show) in parentheses, and the CRC-32.  The
 * map file shows the same line under each file name.  Fill bytes count:
 * they are burnt like any other.
 */
app
-i
-image
-byte                       /* each file addressed in its EPROM's bytes */
-checksum                   /* the figures of every output file */
-map app.map

ROMS
{
    EPROMS: origin = 0x0000, length = 0x0040, romwidth = 8, memwidth = 32,
            fill = 0xFFFFFFFF,
            files = { rom0.hex rom1.hex rom2.hex rom3.hex }
}
