#!/usr/bin/env python3
"""Prints the size of the i686 stub, setup.exe less its payload blob, and
checks it against the limit.

  check_stub_size.py SETUP_EXE PAYLOAD_BLOB LIMIT
"""
import os
import sys

exe, blob, limit = os.path.getsize(sys.argv[1]), os.path.getsize(sys.argv[2]), int(sys.argv[3])
stub = exe - blob
print(f"setup.exe {exe} bytes, payload blob {blob} bytes")
if stub <= limit:
    print(f"ok: stub (setup.exe - blob): {stub} bytes, at most {limit}")
else:
    print(f"FAIL: stub (setup.exe - blob): expected at most {limit} bytes, got {stub}")
sys.exit(0 if stub <= limit else 1)
