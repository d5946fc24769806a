// placeholder; replaced by the emulator
