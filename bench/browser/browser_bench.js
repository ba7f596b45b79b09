// Round trips from a page in headless Chromium and Firefox: page -> extension -> host
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

// One browser: the first call after it starts, then the rounds.
async function run(bed, browser) {
  const launched = Date.now();
  const context = await bed.launch({ browser });
  try {
    const page = await bed.open(context);
    const first = await page.evaluate(() => {
      const t = performance.now();
      return MivoDetector.connect().then((d) => d.IsEnableCreateShortcut(6)).then(() => performance.now() - t);
    });
    const fromLaunch = Date.now() - launched;
    const { host, ping } = await page.evaluate(measure, [ROUNDS]);
    return { host: stats(host), ping: stats(ping), first, fromLaunch };
  } finally {
    await context.close(); // the next browser is measured alone
  }
}

async function main() {
  const bed = new Bed("bench", { client: false, pagesDir: path.join(__dirname, "../../tests/browser/pages") });
  await bed.start();
  try {
    const names = { chromium: "Chromium", firefox: "Firefox" };
    const got = {};
    for (const browser of Object.keys(names)) got[browser] = await run(bed, browser);
    const cell = (v) => v.toFixed(2).padStart(9);
    console.log(`browser round trips, ${ROUNDS} each, ms`);
    console.log("".padEnd(40) + Object.values(names).map((n) => n.padStart(18)).join(""));
    console.log(`${"road".padEnd(40)}${Object.keys(names).map(() => "median".padStart(9) + "p99".padStart(9)).join("")}`);
    for (const [label, key] of [["page->extension->host->control->page", "host"], ["page->extension->page ($ping)", "ping"]]) {
      console.log(label.padEnd(40) + Object.keys(names).map((b) => cell(got[b][key].median) + cell(got[b][key].p99)).join(""));
    }
    for (const [browser, name] of Object.entries(names)) {
      const r = got[browser];
      console.log(`${name}: host share of the median ${(r.host.median - r.ping.median).toFixed(2)} ms; ` +
                  `first call after the browser started (connect + IsEnableCreateShortcut, host start included) ` +
                  `${r.first.toFixed(0)} ms; browser launch to that first answer ${r.fromLaunch} ms`);
    }
  } finally {
    await bed.stop();
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
