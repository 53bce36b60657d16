/*
 * Selecting sections: only the sections named in SECTIONS are converted.
 * .text runs at 0x0000 but is burnt at 0x8000 (paddr); .const stays at
 * its own address.  .data and the trace sections are left out.
 *
 * No ROMS directive: the *DEFAULT* range covers the whole address space,
 * and the output file takes its name from -o.  Extended Tektronix is the
 * default format.
 */
app
-romwidth 32                /* one 32-bit device: one output file */
-o select.hex
-map select.map

SECTIONS
{
    .text: paddr = 0x8000
    .const
}
