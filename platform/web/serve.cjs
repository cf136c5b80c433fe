// Serves a folder of static files on 127.0.0.1, as `make serve-web` and the
// web tests do:
//
//   node serve.cjs FOLDER [--port N] [--isolation]
//
// A plain static host: no special headers, which the page does not need.
// --isolation adds Cross-Origin-Opener-Policy: same-origin and
// Cross-Origin-Embedder-Policy: require-corp to every answer, as a host
// that makes its pages cross-origin isolated does (the tests check that the
// page plays there too). Port 0 (the default) takes a free port. The first
// line printed is the address, once it accepts connections.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.css': 'text/css; charset=utf-8',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
  '.json': 'application/json',
  '.txt': 'text/plain; charset=utf-8',
};

function parseArguments(argv) {
  const options = { root: null, port: 0, isolation: false };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--port') options.port = Number(argv[++i]);
    else if (argv[i] === '--isolation') options.isolation = true;
    else if (!options.root) options.root = path.resolve(argv[i]);
    else throw new Error(`unexpected argument ${argv[i]}`);
  }
  if (!options.root || !Number.isInteger(options.port)) {
    throw new Error('usage: node serve.cjs FOLDER [--port N] [--isolation]');
  }
  return options;
}

function serve(options) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    let name = decodeURIComponent(url.pathname);
    if (name.endsWith('/')) name += 'index.html';
    // Resolved inside the folder only: "..", absolute paths and the like
    // never reach a file outside it.
    const file = path.join(options.root, path.normalize(name));
    if (!file.startsWith(options.root + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, bytes) => {
      const headers = { 'Cache-Control': 'no-cache' };
      if (options.isolation) {
        headers['Cross-Origin-Opener-Policy'] = 'same-origin';
        headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
      }
      if (error) {
        response.writeHead(404, headers).end('not found');
        return;
      }
      headers['Content-Type'] = TYPES[path.extname(file)] || 'application/octet-stream';
      response.writeHead(200, headers).end(request.method === 'HEAD' ? undefined : bytes);
    });
  });
  server.on('error', (error) => {
    console.error(`cannot serve on 127.0.0.1:${options.port}: ${error.message}`);
    process.exit(1);
  });
  server.listen(options.port, '127.0.0.1', () => {
    console.log(`http://127.0.0.1:${server.address().port}/`);
    if (process.stdout.isTTY) console.log(`Serving ${options.root} there; Ctrl+C stops.`);
  });
  return server;
}

if (require.main === module) {
  try {
    serve(parseArguments(process.argv.slice(2)));
  } catch (error) {
    console.error(error.message);
    process.exit(2);
  }
}

module.exports = { serve };
