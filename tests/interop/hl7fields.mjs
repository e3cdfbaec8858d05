// Reads an HL7 v2 file (segments ended by CR, CR LF or LF) with an independent parser and prints
// its segments as JSON:
//   {"_order": ["FHS", "BHS", "MSH", ...], "_messages": 1,
//    "MSH": [["MSH", "|", "^~\\&", ...]], "PID": [["PID", "1", "", ...]], ...}
// Each occurrence of a segment is an array whose index n holds field n (index 0 is the name).
// Fields are as written (escaped) unless --unescape is given. Characters above 0x7E are written
// as \u00XX so that the single-byte text survives.
// Usage: node hl7fields.mjs [--unescape] FILE
import fs from 'node:fs';
import { Batch, FileBatch, Message } from 'node-hl7-client';

function fail(message) {
  process.stderr.write(`hl7fields: ${message}\n`);
  process.exit(2);
}

const args = process.argv.slice(2);
const unescape = args.includes('--unescape');
const file = args.find((a) => !a.startsWith('--'));
if (!file) fail('usage: node hl7fields.mjs [--unescape] FILE');

let text;
try {
  text = fs.readFileSync(file, 'latin1');
} catch (e) {
  fail(`cannot read ${file}: ${e.message}`);
}
text = text.replace(/\r\n/g, '\r').replace(/\n/g, '\r').replace(/\r+$/, '');
if (text === '') fail('empty file');

let root;
let messages;
try {
  if (text.startsWith('FHS')) root = new FileBatch({ text, parsing: true });
  else if (text.startsWith('BHS')) root = new Batch({ text, parsing: true });
  else root = new Message({ text, parsing: true });
  messages = root instanceof Message ? 1 : root.messages().length;
} catch (e) {
  fail(`not a valid HL7 batch: ${e.message}`);
}

const out = { _order: [], _messages: messages };
try {
  for (const segment of root.children) {
    const name = segment.name;
    const headerLike = name === 'MSH' || name === 'BHS' || name === 'FHS';
    const count = headerLike ? segment.children.length : segment.children.length - 1;
    const fields = [name];
    for (let n = 1; n <= count; n++) {
      const node = segment.read([String(n)]);
      const raw = node === undefined ? '' : node.toRaw();
      fields.push(unescape && !(headerLike && n <= 2) ? root.unescape(raw) : raw);
    }
    out._order.push(name);
    (out[name] ??= []).push(fields);
  }
} catch (e) {
  fail(`cannot read segments: ${e.message}`);
}

const json = JSON.stringify(out).replace(
  /[\u007f-\uffff]/g,
  (c) => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'),
);
process.stdout.write(json + '\n');
