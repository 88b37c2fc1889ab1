#!/usr/bin/env python3
# Writes a copy of a setup program with one bit of its payload flipped, in
# the middle of the payload blob that the build linked into it.
#   damage_setup.py SETUP BLOB OUT
import sys

program = bytearray(open(sys.argv[1], "rb").read())
blob = open(sys.argv[2], "rb").read()
at = program.find(blob[:4096])
if at < 0:
    sys.exit("the payload blob %s is not in %s" % (sys.argv[2], sys.argv[1]))
program[at + len(blob) // 2] ^= 0x01
open(sys.argv[3], "wb").write(program)
