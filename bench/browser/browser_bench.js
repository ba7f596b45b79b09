// Round trips from a page in headless Chromium: page -> extension -> host
// (MivoBridge.exe under Wine) -> control -> page for IsEnableCreateShortcut,
// against page -> extension -> page ("$ping", answered by the extension's
// background) in the same run; and the first call after the browser starts.
"use strict";
const path = require("node:path");
const { Bed } = require("../../tools/browser/bed.js");

const ROUNDS = Number(process.env.MV_BENCH_ROUNDS || 300);

function stats(samples) {
  const s = [...samples].sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.ceil(q * s.length) - 1)];
  return { median: at(0.5), p99: at(0.99) };
}

// Both kinds in alternating blocks, so that a slow moment of the machine hits both.
function measure([rounds]) {
  return MivoDetector.connect().then((d) => {
    const host = [], ping = [];
    let chain = Promise.resolve();
    for (let i = 0; i < rounds; i++) {
      chain = chain.then(() => {
        const t = performance.now();
        return d.IsEnableCreateShortcut(6).then(() => host.push(performance.now() - t));
      }).then(() => {
        const t = performance.now();
        return MivoDetector.ping().then(() => ping.push(performance.now() - t));
      });
    }
    return chain.then(() => ({ host, ping }));
  });
}

async function main() {
  const bed = new Bed("bench", { client: false, pagesDir: path.join(__dirname, "../../tests/browser/pages") });
  await bed.start();
  try {
    const launched = Date.now();
    const context = await bed.launch();
    const page = await bed.open(context);
    const first = await page.evaluate(() => {
      const t = performance.now();
      return MivoDetector.connect().then((d) => d.IsEnableCreateShortcut(6)).then(() => performance.now() - t);
    });
    const fromLaunch = Date.now() - launched;
    const { host, ping } = await page.evaluate(measure, [ROUNDS]);
    const h = stats(host), p = stats(ping);
    console.log(`browser round trips, ${ROUNDS} each, ms`);
    console.log(`${"road".padEnd(44)}${"median".padStart(9)}${"p99".padStart(9)}`);
    console.log(`${"page->extension->host->control->page".padEnd(44)}${h.median.toFixed(2).padStart(9)}${h.p99.toFixed(2).padStart(9)}`);
    console.log(`${"page->extension->page ($ping)".padEnd(44)}${p.median.toFixed(2).padStart(9)}${p.p99.toFixed(2).padStart(9)}`);
    console.log(`host share of the median: ${(h.median - p.median).toFixed(2)} ms (ratio ${(h.median / p.median).toFixed(1)})`);
    console.log(`first call after the browser started (connect + IsEnableCreateShortcut, host start included): ${first.toFixed(0)} ms`);
    console.log(`browser launch to that first answer: ${fromLaunch} ms`);
  } finally {
    await bed.stop();
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
