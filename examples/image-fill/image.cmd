/*
 * Complete images for a programmer that wants every byte: two 8-bit
 * EPROMs of 64 bytes each, written as raw binary files.
 *
 * -image writes every range from its origin to its end.  Addresses that
 * no section fills get the range's fill value: VECTORS gives its own fill
 * (0xFFFFFFFF, the erased state), PROGRAM takes the value of -fill.  The
 * fill value is a 32-bit word; with an 8-bit memory its four bytes follow
 * one another, so a value with four equal bytes gives a uniform fill.
 *
 * With two ranges the default file names carry the range number and the
 * file number: app.b00 for VECTORS, app.b10 for PROGRAM.
 */
app
-b                          /* Binary: 8-bit ROM and memory width */
-image
-fill 0xA5A5A5A5            /* for ranges without a fill of their own */
-map app.map

ROMS
{
    VECTORS: origin = 0x0000, length = 0x0040, fill = 0xFFFFFFFF
    PROGRAM: origin = 0x0400, length = 0x0040
}
