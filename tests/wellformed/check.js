// Checks that code written in the dialects is well formed, file by file:
//   node check.js DIR
// DIR holds NAME.DIALECT.bbcode and NAME.html5.html files (UTF-8). BBCode is
// parsed with @bbob/parser with only the dialect's own tags: every tag must
// close, in the reverse order it opened, no closing tag may stand alone,
// list items stand directly in a list, and no block (alignment, list) may
// stand inside an inline tag. HTML is parsed with parse5 as a fragment of a
// body: no parse error, and only the elements and attributes the dialect
// writes. Prints one line per fault and exits 1 when there is any.
'use strict';
const fs = require('fs');
const path = require('path');
const { parse } = require('@bbob/parser');
const parse5 = require('parse5');

const inline = ['b', 'i', 'u', 's', 'color', 'size', 'font', 'url', 'img'];
const block = { phpbb: ['list'], mybb: ['align', 'list'], smf: ['left', 'center', 'right', 'justify', 'list'],
                xenforo: ['left', 'center', 'right', 'list'], vbulletin: ['left', 'center', 'right', 'list'] };
const literal = { smf: 'nobbc', xenforo: 'plain', vbulletin: 'noparse' };

function checkBBCode(code, dialect, fault) {
  const blocks = block[dialect];
  if (!blocks) return fault(`unknown dialect ${dialect}`);
  const tags = [...inline, ...blocks, '*'];
  if (literal[dialect]) tags.push(literal[dialect]);
  const tagPattern = new RegExp(`\\[/?(${tags.map(t => t.replace('*', '\\*')).join('|')})(=[^\\]]*)?\\]`, 'i');
  const walk = (nodes, parents) => {
    for (const node of nodes) {
      if (typeof node === 'string') {
        // Text inside a literal tag is the engine's to show as it is.
        if (tagPattern.test(node) && !parents.some(p => p === literal[dialect]))
          fault(`a tag stands alone as text: ${JSON.stringify(node)}`);
        continue;
      }
      if (!node || typeof node !== 'object' || !node.tag) continue;
      const tag = String(node.tag).toLowerCase();
      if (tag === '*') {
        if (parents[parents.length - 1] !== 'list') fault('a list item outside a list');
      } else if (!node.end) {
        fault(`[${tag}] opened at ${node.start && node.start.from} is never closed`);
      } else {
        const closer = code.slice(node.end.from, node.end.to).toLowerCase();
        if (closer !== `[/${tag}]`) fault(`[${tag}] opened at ${node.start.from} is closed by ${closer}: the tags cross`);
      }
      if (blocks.includes(tag) && parents.some(p => inline.includes(p)))
        fault(`the block [${tag}] stands inside an inline tag (${parents.join(' ')})`);
      walk(node.content || [], [...parents, tag]);
    }
  };
  walk(parse(code, { onlyAllowTags: tags, onError: e => fault(`parser: ${JSON.stringify(e)}`) }), []);
}

const htmlAttributes = { div: ['style'], li: ['style'], ul: [], span: ['style'], b: [], i: [], u: [], s: [],
                         br: [], img: ['src', 'alt'], a: ['href', 'target'] };

function checkHtml(code, fault) {
  const fragment = parse5.parseFragment(code, {
    onParseError: e => fault(`parse error ${e.code} at line ${e.startLine} column ${e.startCol}`),
  });
  const walk = node => {
    for (const child of node.childNodes || []) {
      if (child.nodeName === '#text' || child.nodeName === '#comment') continue;
      const allowed = htmlAttributes[child.nodeName];
      if (!allowed) fault(`unexpected element <${child.nodeName}>`);
      for (const attribute of child.attrs || [])
        if (!allowed || !allowed.includes(attribute.name)) fault(`unexpected attribute ${attribute.name} on <${child.nodeName}>`);
      if (child.nodeName === 'img' && !(child.attrs || []).some(a => a.name === 'alt')) fault('an image without alt');
      walk(child);
    }
  };
  walk(fragment);
}

function main() {
  const dir = process.argv[2];
  if (!dir) {
    console.error('usage: node check.js DIR');
    process.exit(2);
  }
  let faults = 0, files = 0;
  for (const name of fs.readdirSync(dir).sort()) {
    const match = /^(.*)\.([a-z0-9]+)\.(bbcode|html)$/.exec(name);
    if (!match) continue;
    ++files;
    const code = fs.readFileSync(path.join(dir, name), 'utf8');
    const fault = message => {
      ++faults;
      console.log(`${name}: ${message}`);
    };
    if (match[3] === 'html') checkHtml(code, fault);
    else checkBBCode(code, match[2], fault);
  }
  console.log(`${files} files checked, ${faults} faults`);
  process.exit(faults || !files ? 1 : 0);
}

main();
