// The browser road of `make demo`: web/demo.html in headless Chromium and
// then Firefox with the extension, MivoBridge.exe under Wine in the demo's
// prefix (the same client installation and store the JScript page used), what
// the client received for each button, and a screenshot of each.
"use strict";
const fs = require("node:fs");
const path = require("node:path");
const { Bed, BUILD, EXTENSION_DIR } = require("../browser/bed.js");

const withClient = process.env.MV_DEMO_CLIENT !== "none";
const BROWSERS = [["chromium", "Chromium", "browser.png"], ["firefox", "Firefox", "browser-firefox.png"]];
let surprises = 0;

function say(line = "") { console.log(line); }
function row(label, value, note = "") {
  say(`  ${label.padEnd(34)}${String(value).padEnd(24)}${note}`);
}

// Until fn(arg) is true in the page (either browser's driver).
async function waitFor(page, fn, arg, timeoutMs = 30000) {
  for (const end = Date.now() + timeoutMs; !(await page.evaluate(fn, arg));) {
    if (Date.now() > end) throw new Error(`the page did not get there within ${timeoutMs} ms`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

async function walk(bed, browser, name, screenshot) {
  const context = await bed.launch({ browser });
  say(`${name} (headless) with the extension's development build (${path.relative(bed.root, EXTENSION_DIR)}),`);
  say(`and MivoBridge.exe beside the control;`);
  say(`the page is ${bed.origin}/demo.html`);
  const page = await context.newPage();
  const opened = Date.now();
  await page.goto(`${bed.origin}/demo.html`);
  await waitFor(page, () => document.body.dataset.state !== "loading");
  const text = (id) => page.$eval(`#${id}`, (e) => e.textContent);
  const status = await text("status");
  say(`  the page shows: "${status}" (${Date.now() - opened} ms after opening, host start included)`);
  if ((await page.$eval("body", (b) => b.dataset.state)) !== "ready") {
    say("  UNEXPECTED: the page could not reach the client's side");
    surprises++;
    return;
  }

  say("");
  say("What the page shows about the client:");
  const facts = [["Installed", "installed"], ["Version", "version"], ["Downloads", "downloads"], ["Channel", "channel"],
                 ["Registration id", "userid"], ["First installed", "firstinstall"], ["Last installed", "lastinstall"],
                 ["Shortcut for playlist " + (await text("playlist")), "shortcut"], ["Channel may offer shortcuts", "mayshortcut"]];
  for (const [label, id] of facts) row(label, await text(id));
  const f = bed.facts;
  const expected = withClient ? { installed: "Yes", version: f.VERSION, userid: f.USER_ID, channel: f.CHANNEL }
                              : { installed: "Not installed", version: "unknown", userid: "none recorded", channel: "1011" };
  for (const [id, want] of Object.entries(expected)) {
    if ((await text(id)) !== want) { surprises++; say(`  UNEXPECTED: ${id} shows "${await text(id)}", wanted "${want}"`); }
  }

  say("");
  say("Buttons, and what the stand-in client received:");
  const buttons = [["download", "Download video 345"], ["start", "Open the player"], ["detail", "Show its page"],
                   ["play", "Play online"], ["run", "Send as a command"]];
  for (const [id, label] of buttons) {
    const before = bed.clientLog().length;
    const lines = await page.$$eval("#activity li", (l) => l.length);
    await page.click(`#${id}`);
    await waitFor(page, (n) => document.querySelectorAll("#activity li").length > n, lines);
    // The client writes its log itself: give it a moment when something is due.
    const due = withClient && id !== "start";
    for (let i = 0; due && i < 100 && bed.clientLog().length === before; i++) await new Promise((r) => setTimeout(r, 100));
    const got = bed.clientLog().slice(before);
    let told;
    if (!withClient) told = got.length ? "UNEXPECTED: something was started" : "nothing happens: there is no client";
    else if (!due) told = got.length ? "UNEXPECTED: the client got something" : "the client already runs and is left alone";
    else if (got.length !== 1) told = "UNEXPECTED: the client got nothing";
    else told = got[0].kind === "start" ? `started with the command line: ${got[0].text}`
                                        : `the running client received by WM_COPYDATA: ${got[0].text}`;
    if (told.startsWith("UNEXPECTED")) surprises++;
    say(`  [${label}]`);
    say(`      -> ${told}`);
  }

  say("");
  say("Values kept for the user (one store for both roads):");
  const lastVisit = await page.evaluate((k) => new Promise((resolve) =>
    MivoDetector.connect((e, d) => d.GetValue(k, (e2, v) => resolve(v)))), process.env.MV_DEMO_KEY || "demo.lastVisit");
  row(`GetValue("${process.env.MV_DEMO_KEY}")`, `"${lastVisit}"`);
  if (lastVisit !== process.env.MV_DEMO_VALUE) { surprises++; say("  UNEXPECTED: not what the JScript page stored"); }
  else say(`      the value the JScript page stored through ActiveX, read in ${name}`);
  const note = `remembered in ${name} at ${new Date().toISOString().slice(11, 19)}`;
  await page.$eval("#note", (e, v) => { e.value = v; }, note);
  await page.click("#save");
  await waitFor(page, (n) => document.getElementById("stored").textContent === n, note, 10000)
    .catch(() => { surprises++; say("  UNEXPECTED: the page did not show the stored value"); });
  row('[Remember] demo.note', `"${await text("stored")}"`);

  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
  say("");
  say(`Screenshot of the page: ${screenshot}`);
}

async function main() {
  const bed = new Bed("demo", { prefix: process.env.MV_PREFIX });
  await bed.start();
  try {
    for (const [browser, name, file] of BROWSERS) {
      if (browser !== BROWSERS[0][0]) {
        bed.stopClient(); // each browser starts the client afresh
        say("");
        say(`== The demo page in ${name}`);
      }
      await walk(bed, browser, name, path.join(BUILD, "demo", file));
    }
    return surprises ? 1 : 0;
  } finally {
    await bed.stop();
  }
}

main().then((code) => process.exit(code), (e) => { console.log(`The browser road could not run: ${e.message}`); process.exit(1); });
