/*
 * An ELF input file: the allocated sections with contents are converted
 * at their load addresses, as objcopy -O ihex would place them.  .data
 * runs at 0x8000 but is burnt at 0x200, where its segment loads it.  The
 * map lists both at their load addresses.
 */
app
-i                          /* Intel */
-memwidth 8
-romwidth 8
-o flat.hex
-map flat.map
