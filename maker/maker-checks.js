// The same checks as the command line: each piece goes through the tool
// that `make run` runs on it (compiled to WebAssembly, maker/tools-runner.js),
// one run at a time, and comes back as what the preview takes (the built
// resource) or as the tool's own messages, with the line and column they
// name.
'use strict';
(() => {
  const M = window.QuillonMaker = window.QuillonMaker || {};

  // kind: the tool, its arguments for a source called `name`, and the
  // output file that becomes the program's resource of that name.
  const RUNS = {
    text: { tool: 'textc', args: (name) => ['--own', name, 'release.bin'], output: 'release.bin', resource: 'TEXT' },
    font: { tool: 'fontc', args: (name) => ['--own', name, 'FONT.bmp'], output: 'FONT.bmp', resource: 'FONT' },
    ani: { tool: 'anigen', args: (name) => ['--own', name, 'ANI.bmp'], output: 'ANI.bmp', resource: 'ANI' },
    // (fpsgen keeps no rules of a built-in look: it has no --own.)
    fps: { tool: 'fpsgen', args: (name) => [name, 'FPS.bmp'], output: 'FPS.bmp', resource: 'FPS' },
    // (The .ico becomes the Windows program's icon group: kept as ICO.)
    icon: { tool: 'iconc', args: (name) => [name, 'icon.ico', 'icon.png'], output: 'icon.png', resource: 'ICON',
      also: { ICO: 'icon.ico' } },
  };
  M.RESOURCE_OF = { text: 'TEXT', font: 'FONT', ani: 'ANI', fps: 'FPS', song: 'MUSIC', icon: 'ICON' };

  // A tool's message lines, each with the line and column it names.
  M.messageLines = (text) => String(text || '').split('\n').filter((l) => l.trim()).map((l) => {
    const line = /\bline (\d+)/.exec(l), column = /\bcolumn (\d+)/.exec(l);
    return { text: l, line: line ? Number(line[1]) : 0, column: column ? Number(column[1]) : 0,
      warning: /: warning: /.test(l) };
  });

  // What xmcheck's report says: whether the song can play at all, and
  // which player plays it fully (the full one where neither does).
  M.readSongReport = (report, code) => {
    const fully = /^Plays fully with: (.*)$/m.exec(report);
    const verdict = fully ? fully[1] : '';
    const loads = !/it does not load|not an Extended Module|no Extended Module/i.test(verdict + report) || /^Loads: yes/m.test(report);
    const fault = code === 2 || !fully || /does not load|cut off/.test(verdict) || /^Sounds: NO/m.test(report);
    return { fault, loads, player: /^the small player/.test(verdict) ? 'small' : 'full', verdict };
  };

  class Checks {
    // run(tool, args, files) -> Promise<{ code, stdout, stderr, outputs }>
    constructor(run) {
      this.run = run;
      this.queue = Promise.resolve();
    }

    // One run after the other: the tools share one module's files.
    tool(tool, args, files) {
      const next = this.queue.then(() => this.run(tool, args, files));
      this.queue = next.catch(() => {});
      return next;
    }

    // { ok, lines, resource, bytes, report?, player? } for a piece's file.
    async check(kind, name, bytes) {
      if (kind === 'song') return this.song(name, bytes);
      const r = RUNS[kind];
      let result;
      try {
        result = await this.tool(r.tool, r.args(name), { [name]: bytes });
      } catch (error) {
        return { ok: false, lines: [{ text: `${r.tool} could not run here: ${error.message || error}`, line: 0, column: 0 }] };
      }
      const lines = M.messageLines(`${result.stderr}\n${result.stdout}`);
      const out = result.outputs && result.outputs[r.output];
      if (result.code !== 0 || !out) {
        if (!lines.length) lines.push({ text: `${r.tool} failed (exit code ${result.code})`, line: 0, column: 0 });
        return { ok: false, lines };
      }
      const also = {};
      for (const [resource, file] of Object.entries(r.also || {})) also[resource] = result.outputs[file] || null;
      return { ok: true, lines, resource: r.resource, bytes: out, also };
    }

    async song(name, bytes) {
      let result;
      try {
        result = await this.tool('xmcheck', [name, '--full'], { [name]: bytes });
      } catch (error) {
        return { ok: false, lines: [{ text: `xmcheck could not run here: ${error.message || error}`, line: 0, column: 0 }] };
      }
      const report = `${result.stdout}${result.stderr}`.replace(/\s+$/, '');
      const verdict = M.readSongReport(report, result.code);
      const lines = [];
      if (verdict.fault) {
        const said = report.split('\n').filter((l) => /does not load|cut off|SILENT|cannot|not an Extended|no Extended|^xmcheck:/i.test(l));
        lines.push(...M.messageLines(said.join('\n') || report.split('\n').slice(-3).join('\n')));
      } else {
        lines.push({ text: `Plays fully with ${verdict.verdict}.`, line: 0, column: 0 });
      }
      return { ok: !verdict.fault, lines, resource: 'MUSIC', bytes, report, player: verdict.player };
    }
  }

  M.Checks = Checks;
})();
