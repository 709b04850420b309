// Exports the samples (and, for glTF, a generated model of a million triangles) and checks them
// as a viewer would: the glTF validator must report nothing, and each web page, opened in
// headless Chromium, must pass the checks it writes into its own document.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createRequire } from 'node:module';

const [mode, viewer, maker, src] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), 'velmora-web-'));
const samples = readdirSync(join(src, 'samples'))
  .filter((f) => /\.(ses|txt)$/.test(f))
  .map((f) => join(src, 'samples', f));
let failures = 0;
const fail = (what) => { console.log('FAIL: ' + what); failures++; };

function exportTo(input, out, extra = []) {
  execFileSync(viewer, ['--export', out, ...extra, input], { stdio: 'inherit' });
  return out;
}
function glbJson(path) {
  const b = readFileSync(path);
  return JSON.parse(b.subarray(20, 20 + b.readUInt32LE(12)).toString('utf8'));
}

if (mode === 'gltf') {
  const validator = createRequire(import.meta.url)('gltf-validator');
  const big = join(work, 'million.ses');
  execFileSync(maker, ['--synthetic', '--points', '500000', '--out', big], { stdio: 'inherit' });
  const cases = samples.map((s) => [s, []]);
  cases.push([samples.find((s) => s.endsWith('.ses')), ['--points']], [big, []],
    [big, ['--max-triangles', '100000']]);
  for (const [input, extra] of cases) {
    const out = exportTo(input, join(work, 'model.glb'), extra);
    const report = await validator.validateBytes(new Uint8Array(readFileSync(out)));
    const { numErrors, numWarnings } = report.issues;
    console.log(`${input} ${extra.join(' ')}: ${numErrors} errors, ${numWarnings} warnings`);
    if (numErrors || numWarnings)
      fail(JSON.stringify(report.issues.messages.filter((m) => m.severity < 2).slice(0, 5)));
  }
} else {
  // Each sample as it is, one with a record's callouts, one reduced.
  const rocker = samples.find((s) => s.endsWith('rocker-arm.ses'));
  const cases = samples.map((s) => [s, []]);
  cases.push([rocker, ['--annotations', join(src, 'tests/fuzz/corpus/annotations_reader/full.json')]],
    [rocker, ['--max-triangles', '5000']]);
  for (const [input, options] of cases) {
    const budget = options.includes('--max-triangles') ? [] : ['--max-triangles', '2000000'];
    const extras = glbJson(exportTo(input, join(work, 'model.glb'), [...options, ...budget])).extras;
    const page = exportTo(input, join(work, 'page.html'), options);
    const dom = execFileSync('chromium', ['--headless=new', '--use-angle=swiftshader',
      '--enable-unsafe-swiftshader', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--user-data-dir=' + mkdtempSync(join(work, 'profile-')), '--window-size=1000,700',
      '--dump-dom', '--virtual-time-budget=10000', 'file://' + page + '#selftest'],
      { maxBuffer: 1 << 30, stdio: ['ignore', 'pipe', 'ignore'] }).toString();
    const found = /<pre id="selftest"[^>]*>([^<]*)<\/pre>/.exec(dom);
    if (!found) { fail(`${input}: the page wrote no self-check`); continue; }
    const r = JSON.parse(found[1].replace(/&quot;/g, '"').replace(/&amp;/g, '&'));
    console.log(`${input}: ${JSON.stringify(r)}`);
    if (r.vertices !== extras.vertices) fail(`${input}: ${r.vertices} vertices, glb has ${extras.vertices}`);
    if (r.legendEntries !== extras.legend.length)
      fail(`${input}: ${r.legendEntries} legend entries, expected ${extras.legend.length}`);
    if (r.callouts !== extras.callouts.length)
      fail(`${input}: ${r.callouts} callouts, expected ${extras.callouts.length}`);
    if (!r.title.includes(extras.reducedFrom ? `reduced from ${extras.reducedFrom} triangles` : extras.title))
      fail(`${input}: title line "${r.title}"`);
    if (!r.ok) fail(`${input}: hover readout ${JSON.stringify(r.hover)}`);
    if (!/<body[^>]* data-decoded="[0-9.]+"[^>]* data-first-frame="[0-9.]+"/.test(dom))
      fail(`${input}: the page kept no times of its decoding and first frame`);
  }
}
rmSync(work, { recursive: true, force: true });
process.exit(failures ? 1 : 0);
