#!/usr/bin/env python3
"""ydecode_bench's run of sabyenc3: the yEnc file read in 256 KiB pieces,
decoded with its CRC check by one call (its interface takes a whole article),
written out. Usage: ydecode_sabyenc.py INPUT OUTPUT"""
import sys

import sabyenc3

chunks = []
with open(sys.argv[1], "rb") as f:
    while True:
        chunk = f.read(256 * 1024)
        if not chunk:
            break
        chunks.append(chunk)
data, name, crc_correct = sabyenc3.decode_usenet_chunks(chunks)
if not crc_correct:
    sys.exit("sabyenc3: CRC error in %s" % name)
with open(sys.argv[2], "wb") as f:
    f.write(data)
