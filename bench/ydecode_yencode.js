// ydecode_bench's run of yencode: the yEnc file read in 256 KiB pieces past
// its =ybegin line, decoded piece by piece with the CRC, written out, the
// CRC compared with the =yend line's.
// Usage: node ydecode_yencode.js INPUT OUTPUT
'use strict';
const fs = require('fs');
const y = require('yencode');

const input = fs.openSync(process.argv[2], 'r');
const output = fs.openSync(process.argv[3], 'w');
const text = Buffer.alloc(256 * 1024);
const bytes = Buffer.alloc(256 * 1024);
let state = null, crc = null, begun = false, tail = '';
for (;;) {
  const got = fs.readSync(input, text, 0, text.length, null);
  if (got === 0) break;
  let piece = text.subarray(0, got);
  if (!begun) {
    // A copy: the native module reads a view from its buffer's start.
    piece = Buffer.from(piece.subarray(piece.indexOf(10) + 1));
    begun = true;
  }
  if (state !== null && state.startsWith('\r\n=y')) {
    tail += piece.toString('latin1');
    continue;
  }
  // The module's argument order is (data, output, state), whatever its
  // README says: with the state second, the output buffer goes unused.
  const r = y.decodeChunk(piece, bytes, state);
  state = r.state;
  const out = r.output.subarray(0, r.written);
  crc = crc === null ? y.crc32(out) : y.crc32(out, crc);
  fs.writeSync(output, out);
  if (r.ended) tail += piece.subarray(r.read).toString('latin1');
}
fs.closeSync(output);
const want = /crc32=([0-9a-fA-F]+)/.exec(tail.split('\n')[0]);
if (!want || parseInt(want[1], 16) !== crc.readUInt32BE(0)) {
  console.error('yencode: CRC error');
  process.exit(1);
}
