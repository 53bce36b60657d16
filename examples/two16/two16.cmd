/*
 * A 32-bit memory built from two 16-bit flash devices, in Motorola S3
 * records.
 *
 * lo16.mot holds bits 0..15 of every memory word, hi16.mot bits 16..31,
 * each 16-bit lane written most significant byte first.
 */
app
-m3                         /* Motorola-S with 32-bit addresses */
-map app.map

ROMS
{
    FLASH: org = 0x0000, len = 0x1000, romwidth = 16, memwidth = 32,
           files = { lo16.mot, hi16.mot }
}
