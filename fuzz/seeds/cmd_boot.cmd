/* boot table */ -a -boot -bootorg 0x4000 -e main -map seed.map
ROMS { all: origin = 0, length = 0x10000 }
