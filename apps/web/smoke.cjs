// Node check of the wasm build: renders pictures through lumacore_web_render and prints the
// SHA-256 of the last one's R, G, B, A bytes.
//   node web/smoke.cjs MODULE MODE WIDTH HEIGHT FPS PICTURES   (MODULE history|scope|vu, MODE 2d|3d)
// Exits 1 with one line when the call fails.
'use strict';
const crypto = require('crypto');
const path = require('path');

const modules = { history: 0, scope: 1, vu: 2 };

async function main(args) {
  if (args.length !== 6) throw new Error('usage: smoke.cjs MODULE MODE WIDTH HEIGHT FPS PICTURES');
  const [name, mode, width, height, fps, pictures] = args;
  const module = name in modules ? modules[name] : -1;
  const w = Number(width), h = Number(height);
  const createLumacore = require(path.join(__dirname, '..', 'build', 'web', 'lumacore-node.js'));
  const lib = await createLumacore();
  const bytes = Math.max(1, w * h * 4) || 1;
  const buffer = lib._malloc(bytes);
  try {
    const rc = lib._lumacore_web_render(module, mode === '3d' ? 1 : 0, w, h, Number(fps),
                                        Number(pictures), buffer);
    if (rc !== 0) throw new Error(`lumacore_web_render returned ${rc}`);
    const picture = lib.HEAPU8.subarray(buffer, buffer + w * h * 4);
    console.log(crypto.createHash('sha256').update(picture).digest('hex'));
  } finally {
    lib._free(buffer);
  }
}

main(process.argv.slice(2)).catch((error) => {
  console.error(`smoke.cjs: ${error.message}`);
  process.exit(1);
});
