// Writes yEnc news articles made by the yencode package, for the tests.
//
// Reads one job as JSON on standard input:
//   name         file name for =ybegin (required)
//   data         the file's bytes in base64, or
//   data_path    a file to read them from
//   part_size    bytes per part (the last part takes the rest), or
//   parts        number of parts, cut evenly (default 1)
//   line_size    encoded line length (default 128)
//   emit         part numbers to write, in this order, repeats allowed
//                (default every part once)
//   outputs      one path per emitted article (required)
//   subject      Subject: text; {name} {part} {total} {size} are replaced
//   total        the {total} of the subject (default the part count)
//   poster       From: text
//   date         Date: text, or a list of them, one per emitted article
//   newsgroups   Newsgroups: text
//   message_ids  Message-ID: texts, one per emitted article (default
//                made of the part, the article's place and the process id)
//   headers      further header lines
//   preamble     text lines put before the =ybegin line
//   drop         keywords to remove from the =y lines, such as "total"
//   eol          "lf" (default) or "crlf": the line ends of the article
//   dot_stuff    double a "." that begins a line, as on a server's wire
// Prints, as JSON, for every emitted article its path, part, begin, end and
// the part's CRC-32 in hex.
//
// yencode is found through NODE_PATH or the node_modules directory named by
// QUILLON_NODE_MODULES.
'use strict';

const fs = require('fs');
const path = require('path');

function loadYencode() {
  const dir = process.env.QUILLON_NODE_MODULES;
  if (dir) return require(path.join(path.resolve(dir), 'yencode'));
  return require('yencode');
}

function fileBytes(job) {
  if (job.data_path !== undefined) return fs.readFileSync(job.data_path);
  return Buffer.from(job.data || '', 'base64');
}

// The [start, end) byte offsets of every part.
function cut(size, job) {
  let step = job.part_size;
  if (!step) step = Math.ceil(size / Math.max(1, job.parts || 1));
  const pieces = [];
  for (let at = 0; at < size; at += step)
    pieces.push([at, Math.min(size, at + step)]);
  if (pieces.length === 0) pieces.push([0, 0]);
  return pieces;
}

// Every part's yEnc text as yencode writes it (CR LF, no final line end).
function encodeParts(y, job, data) {
  const pieces = cut(data.length, job);
  const line = job.line_size || 128;
  if (pieces.length === 1) return [y.post(job.name, data, line)];
  const enc = y.multi_post(job.name, data.length, pieces.length, line);
  return pieces.map(([a, b]) => enc.encode(data.subarray(a, b)));
}

function dropKeywords(text, drop) {
  if (!drop || drop.length === 0) return text;
  return text.split('\r\n').map((l) => {
    if (!l.startsWith('=y')) return l;
    const name = l.indexOf(' name=');
    let head = name < 0 ? l : l.slice(0, name);
    const tail = name < 0 ? '' : l.slice(name);
    for (const k of drop)
      head = head.replace(new RegExp(' ' + k + '=[^ ]*', 'g'), '');
    return head + tail;
  }).join('\r\n');
}

function subject(job, part, total, size) {
  const fmt = job.subject || '"{name}" yEnc ({part}/{total}) {size}';
  const values = {name: job.name, part, total, size};
  return fmt.replace(/\{(name|part|total|size)\}/g, (_, k) => values[k]);
}

function headerBlock(job, k, part, total, size) {
  const date = Array.isArray(job.date) ? job.date[k] : job.date;
  const id = job.message_ids ?
      job.message_ids[k] :
      '<part' + part + '.' + k + '.' + process.pid + '@example.net>';
  const lines = [
    'Path: news.example.net!not-for-mail',
    'From: ' + (job.poster || 'alice@example.org'),
    'Newsgroups: ' + (job.newsgroups || 'alt.binaries.test'),
    'Subject: ' + subject(job, part, total, size),
    'Date: ' + (date || 'Tue, 13 May 2025 12:00:00 GMT'),
    'Message-ID: ' + id,
  ];
  return lines.concat(job.headers || []);
}

// One article: header lines in UTF-8; the body is handled as latin1, so
// that every byte of the encoded data survives.
function article(job, k, part, encoded, count, size) {
  const total = job.total !== undefined ? job.total : count;
  const eol = job.eol === 'crlf' ? '\r\n' : '\n';
  const head = headerBlock(job, k, part, total, size).join(eol) + eol + eol;
  const preamble = (job.preamble || []).map((l) => Buffer.from(l, 'utf8'));
  let lines = preamble.map((b) => b.toString('latin1'));
  const body = dropKeywords(encoded.toString('latin1'), job.drop);
  lines = lines.concat(body.split('\r\n'));
  if (job.dot_stuff)
    lines = lines.map((l) => (l.startsWith('.') ? '.' + l : l));
  return Buffer.concat([
    Buffer.from(head, 'utf8'), Buffer.from(lines.join(eol) + eol, 'latin1')
  ]);
}

function main() {
  const job = JSON.parse(fs.readFileSync(0, 'utf8'));
  const y = loadYencode();
  const data = fileBytes(job);
  const parts = encodeParts(y, job, data);
  const pieces = cut(data.length, job);
  const emit = job.emit || parts.map((_, i) => i + 1);
  if (!job.outputs || job.outputs.length !== emit.length)
    throw new Error('one output path is needed per emitted article');
  const report = emit.map((part, k) => {
    const [a, b] = pieces[part - 1];
    const text = article(job, k, part, parts[part - 1], parts.length,
                         data.length);
    fs.writeFileSync(job.outputs[k], text);
    const crc = y.crc32(data.subarray(a, b)).toString('hex');
    return {path: job.outputs[k], part, begin: a + 1, end: b, pcrc32: crc};
  });
  process.stdout.write(JSON.stringify(report) + '\n');
}

main();
