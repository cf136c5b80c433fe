// Runs one of the maker's tools (textc, fontc, anigen, fpsgen, iconc, xmcheck)
// in build-web/maker-tools/quillon-tools.wasm as the command line runs it.
// Plain script for the page and for node (no build step):
//
//   runTool(createFn, wasmBinary, tool, args, files)
//     -> Promise<{code, stdout, stderr, outputs, stdoutBytes, stderrBytes, crashed}>
//
// createFn is createQuillonTools (quillon-tools.js), wasmBinary the bytes of
// quillon-tools.wasm (an ArrayBuffer or a Uint8Array; a WebAssembly.Module
// also does). tool and args are the command line without the program's
// name, e.g. ('textc', ['--own', 'release.txt', 'release.bin']); files is
// {name: Uint8Array}, written into the run's working directory before it
// starts. The result has the exit code, what the tool printed (as text and
// as the exact bytes), and outputs, {name: Uint8Array} of every file of the
// working directory the run created or changed.
//
// Each run has an instance of its own, so nothing one tool leaves behind
// (globals, files, the heap) reaches the next; the wasm is compiled once per
// binary and the instance is made from the compiled module. A tool that
// crashes (out of memory, a fault the runtime catches) gives crashed: true,
// code 134, and the runtime's report appended to stderr.
(function (root) {
    'use strict';

    const compiled = new WeakMap(); // the binary (its buffer) -> Promise<WebAssembly.Module>

    function compiledModule(wasmBinary) {
        if (wasmBinary instanceof WebAssembly.Module)
            return Promise.resolve(wasmBinary);
        const key = wasmBinary instanceof ArrayBuffer ? wasmBinary : wasmBinary.buffer;
        let module = compiled.get(key);
        if (!module) {
            const bytes = wasmBinary instanceof ArrayBuffer ? new Uint8Array(wasmBinary) : wasmBinary;
            module = WebAssembly.compile(bytes);
            compiled.set(key, module);
        }
        return module;
    }

    // Every file under dir, as {relative path: its MEMFS node}.
    function listFiles(FS, dir, prefix, into) {
        for (const name of FS.readdir(dir)) {
            if (name === '.' || name === '..')
                continue;
            const path = dir + '/' + name;
            const stat = FS.stat(path);
            if (FS.isDir(stat.mode))
                listFiles(FS, path, prefix + name + '/', into);
            else if (FS.isFile(stat.mode))
                into[prefix + name] = FS.lookupPath(path).node;
        }
        return into;
    }

    // What a file was when the run started: a write that truncates or grows
    // it gives its node new contents, a rewrite in place a new timestamp.
    function fileState(node) {
        return { node, contents: node.contents, used: node.usedBytes, timestamp: node.timestamp };
    }

    function unchanged(before, node) {
        return before.node === node && before.contents === node.contents && before.used === node.usedBytes &&
               before.timestamp === node.timestamp;
    }

    function decode(bytes) {
        return new TextDecoder('utf-8').decode(new Uint8Array(bytes));
    }

    async function runTool(createFn, wasmBinary, tool, args, files) {
        const wasm = await compiledModule(wasmBinary);
        const out = [];
        const err = [];
        const runtime = []; // the runtime's own messages (an abort's reason)
        // The runtime waits for its instance without end: a failed
        // instantiation must end the run instead.
        let notMade;
        const failed = new Promise((resolve, reject) => (notMade = reject));
        const instance = await Promise.race([failed, createFn({
            instantiateWasm(imports, receive) {
                WebAssembly.instantiate(wasm, imports).then((made) => receive(made, wasm), notMade);
                return {};
            },
            thisProgram: 'quillon-tools',
            noInitialRun: true,
            // The tools read no standard input: it is empty.
            stdin: () => null,
            // Byte by byte, so the text is exactly what the tool wrote (a
            // last line without its newline stays so).
            stdout: (c) => out.push(c & 0xff),
            stderr: (c) => err.push(c & 0xff),
            print: (line) => runtime.push(line),
            printErr: (line) => runtime.push(line),
            // exit() ends the run with an ExitStatus thrown to callMain,
            // never the host's process.
            quit: (status, toThrow) => {
                throw toThrow;
            },
        })]);
        const FS = instance.FS;
        // A folder of the run's own (the root holds the runtime's /dev and /proc).
        const cwd = '/run';
        FS.mkdir(cwd);
        FS.chdir(cwd);
        const given = {};
        for (const [name, data] of Object.entries(files || {})) {
            const slash = name.lastIndexOf('/');
            if (slash > 0)
                FS.mkdirTree(cwd + '/' + name.slice(0, slash));
            FS.writeFile(cwd + '/' + name, data);
            given[name] = fileState(FS.lookupPath(cwd + '/' + name).node);
        }
        let code;
        let crashed = false;
        try {
            code = instance.callMain([tool, ...args]);
        } catch (e) {
            if (e && e.name === 'ExitStatus') {
                code = e.status;
            } else {
                crashed = true;
                code = 134;
                // A C++ exception nothing caught arrives as its address.
                const reason = runtime.length ? runtime.join('\n')
                    : typeof e === 'number' ? 'a C++ exception nothing caught'
                    : String(e && e.message ? e.message : e);
                for (const b of new TextEncoder().encode(`${tool}: stopped: ${reason}\n`))
                    err.push(b);
            }
        }
        const outputs = {};
        let after = {};
        try {
            after = listFiles(FS, cwd, '', {});
        } catch (e) {
            // A crashed runtime may leave its file system unreadable: no outputs.
        }
        for (const [name, node] of Object.entries(after))
            if (!(name in given) || !unchanged(given[name], node))
                outputs[name] = FS.readFile(cwd + '/' + name);
        return {
            code,
            stdout: decode(out),
            stderr: decode(err),
            stdoutBytes: new Uint8Array(out),
            stderrBytes: new Uint8Array(err),
            outputs,
            crashed,
        };
    }

    const api = { runTool };
    if (typeof module === 'object' && module.exports)
        module.exports = api;
    else
        root.QuillonToolsRunner = api;
})(typeof globalThis !== 'undefined' ? globalThis : this);
