// The release text's editor: a plain text area over a sheet that shows the
// 80-column edge and a break under every 32nd line (a page), with the line
// numbers beside it. Each line is kept at 80 characters as the person
// types: a shorter one is filled up with spaces, and spaces pushed past
// column 80 fall off. What is still longer than 80 is marked at once; the
// line and column a check names are marked until the text changes.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};
  const WIDTH = 80, PAGE_LINES = 32;

  // Each line at 80 characters where only spaces make the difference. An
  // empty last line past the 128th (a pasted text's final line break) is
  // no line of the text.
  M.padLines = (text) => text.replace(/\r\n?/g, '\n').split('\n')
    .filter((line, i, lines) => !(i === lines.length - 1 && i >= 128 && line === '')).map((line) =>
    line.length < WIDTH ? line.padEnd(WIDTH, ' ') : line.length > WIDTH && !line.slice(WIDTH).trim()
      ? line.slice(0, WIDTH) : line);

  class Editor {
    constructor({ area, gutter, marks, onChange }) {
      this.area = area;
      this.gutter = gutter;
      this.marks = marks;
      this.onChange = onChange;
      this.fault = null; // { line, column } a check named
      this.measure();
      area.addEventListener('input', () => this.edited());
      // A paste or drop of several lines comes in as one input event, so
      // the same padding covers it.
    }

    // The width of a character and the height of a line, as drawn.
    measure() {
      const probe = document.createElement('span');
      probe.textContent = 'M'.repeat(WIDTH);
      probe.style.cssText = 'position:absolute;visibility:hidden;white-space:pre;font:inherit';
      this.area.parentNode.appendChild(probe);
      const ch = probe.getBoundingClientRect().width / WIDTH;
      probe.remove();
      if (ch > 0) document.documentElement.style.setProperty('--ch', `${ch}px`);
      this.ch = ch || 7.8;
      this.lineHeight = parseFloat(getComputedStyle(this.area).lineHeight) || 16;
    }

    get text() {
      return this.lines().join('\n') + '\n';
    }

    lines() {
      const lines = this.area.value.split('\n');
      return lines;
    }

    // Puts a whole text in (a file, the built-in text, a stored one).
    set(text) {
      const lines = M.padLines(text.replace(/\n$/, ''));
      this.area.value = lines.join('\n');
      this.fault = null;
      this.render();
    }

    edited() {
      const area = this.area;
      const caret = area.selectionStart;
      const before = area.value.slice(0, caret).split('\n');
      const line = before.length - 1, column = before[before.length - 1].length;
      const lines = M.padLines(area.value);
      const value = lines.join('\n');
      if (value !== area.value) {
        area.value = value;
        let at = 0;
        for (let i = 0; i < line; ++i) at += lines[i].length + 1;
        at += Math.min(column, lines[line].length);
        area.setSelectionRange(at, at);
      }
      this.fault = null;
      this.render();
      this.onChange();
    }

    // Marks the line (1-based) and column a check named; null clears it.
    mark(fault) {
      this.fault = fault;
      this.render();
    }

    // Moves the caret to a line and column and shows them.
    reveal(line, column) {
      const lines = this.lines();
      let at = 0;
      for (let i = 0; i < Math.min(line - 1, lines.length); ++i) at += lines[i].length + 1;
      at += Math.max(0, (column || 1) - 1);
      this.area.focus();
      this.area.setSelectionRange(at, at);
      const scroller = this.area.closest('.editor');
      const y = (line - 1) * this.lineHeight;
      if (y < scroller.scrollTop || y > scroller.scrollTop + scroller.clientHeight - 3 * this.lineHeight)
        scroller.scrollTop = Math.max(0, y - scroller.clientHeight / 3);
    }

    render() {
      const lines = this.lines();
      const longest = lines.reduce((n, l) => Math.max(n, l.length), 0);
      this.area.style.width = `${Math.ceil((Math.max(WIDTH, longest) + 2) * this.ch) + 8}px`;
      this.area.style.height = `${lines.length * this.lineHeight + 8}px`;
      this.area.parentNode.style.width = this.area.style.width;
      const long = new Set();
      lines.forEach((l, i) => { if (l.length > WIDTH) long.add(i + 1); });
      const numbers = [];
      for (let i = 1; i <= lines.length; ++i) {
        const page = (i - 1) % PAGE_LINES === 0 ? `p${(i - 1) / PAGE_LINES + 1} ` : '';
        const label = `${page}${i}`.padStart(7, ' ');
        const bad = long.has(i) || (this.fault && this.fault.line === i);
        numbers.push(bad ? `<span class="bad">${label}</span>` : page ? `<span class="page">${label}</span>` : label);
      }
      this.gutter.innerHTML = numbers.join('\n');
      this.gutter.style.paddingTop = this.gutter.style.paddingBottom = '4px';
      const marks = [];
      const band = (line, column) => {
        marks.push(`<div style="top:${4 + (line - 1) * this.lineHeight}px"></div>`);
        if (column) marks.push(`<div class="column" style="top:${4 + (line - 1) * this.lineHeight}px;` +
          `left:${4 + (column - 1) * this.ch}px"></div>`);
      };
      for (const line of long) band(line, WIDTH + 1);
      if (this.fault && this.fault.line && !long.has(this.fault.line)) band(this.fault.line, this.fault.column);
      this.marks.innerHTML = marks.join('');
    }
  }

  M.Editor = Editor;
})();
