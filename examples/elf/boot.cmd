/*
 * The same ELF file as a boot table at 0x1000: the entry point (main, from
 * .symtab), then for each section its size, its run address and its bytes.
 * .data goes to 0x8000, the address it runs at.
 */
app
-i
-memwidth 8
-romwidth 8
-boot
-bootorg 0x1000
-e main
-o boot.hex
