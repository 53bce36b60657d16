/*
 * A 32-bit memory built from four 8-bit EPROMs, in Intel format.
 *
 * Every memory word is cut into four bytes; app.i0 receives bits 0..7 of
 * every word (for this little-endian object, the byte at the lowest
 * address), app.i3 bits 24..31.  The files are not named here, so they get
 * the default names: the object's base name with the extension .i0 to .i3.
 */
app                         /* the object file: app.out */
-i                          /* Intel records */
-map app.map                /* report where every section went */

ROMS
{
    EPROMS: origin = 0x00000000, length = 0x00020000,
            romwidth = 8, memwidth = 32
}
