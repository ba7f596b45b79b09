// mivo-detector.js in a headless browser (MV_BROWSER: chromium or firefox,
// one run each) with the extension and MivoBridge.exe under Wine, against the
// same prefix's control through cscript. First what a page gets when the road
// is closed (no extension, a site outside the build's list, whose calls never
// reach the host, no host); then the same
// answers as the control gives JScript, commands that reach the client, one
// store for both roads, many calls in flight, a page that floods the
// extension, a host that dies between two calls, and (Chromium) an extension
// id of a store's. One prefix and one browser for all, in this order: they are slow
// to start under Wine.
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const crypto = require("node:crypto");
const { Bed, BUILD, EXTENSION_DIR } = require("../../tools/browser/bed.js");
const { call, callAll } = require("./page_calls.js");

const browser = process.env.MV_BROWSER || "chromium";
// What each browser says when the host cannot start.
const hostMissing = { chromium: /native messaging host not found/i, firefox: /no such native application/i }[browser];
// With the page package.test.js bundled from the npm package.
const pagesDir = [path.join(__dirname, "pages"), path.join(BUILD, "browser", "package", "site")];
const bed = new Bed(`roads-${browser}`, { pagesDir, browser });
let context, page;
test.before(() => bed.start());
test.after(() => bed.stop());

test("no extension: connect fails with EXTENSION_UNAVAILABLE after its timeout", async () => {
  const page = await bed.open(await bed.launch({ extension: false }));
  const started = Date.now();
  assert.deepEqual(await call(page, "IsInstalled", [], { timeout: 1000 }), { code: "EXTENSION_UNAVAILABLE" });
  console.log(`# EXTENSION_UNAVAILABLE after ${Date.now() - started} ms (timeout 1000 ms)`);
});

// Straight to the content script, as a hostile page would, claiming a served origin.
function postRaw([methods, claimed]) {
  return Promise.all(methods.map((method, i) => new Promise((resolve) => {
    const id = `raw-${i}`;
    addEventListener("message", function answer(e) {
      if (e.data && e.data.type === "mivo-detector:answer" && e.data.id === id) {
        removeEventListener("message", answer);
        resolve(e.data.error && e.data.error.code);
      }
    });
    postMessage({ type: "mivo-detector:request", id, method, args: [], origin: claimed }, "*");
  })));
}

// A frame inside a served page whose origin is opaque.
async function sandboxedFrame(page) {
  await page.evaluate(() => new Promise((resolve) => {
    const frame = Object.assign(document.createElement("iframe"), { sandbox: "allow-scripts", src: "/blank.html", onload: resolve });
    document.body.append(frame);
  }));
  return page.frames()[1];
}

test("a site outside the build's list finds no extension; then no host, and a host", async () => {
  context = await bed.launch();
  const manifest = context.manifestPath;

  const foreign = await bed.open(context, `http://page.test:${bed.port}/blank.html`);
  assert.deepEqual(await call(foreign, "IsInstalled", [], { timeout: 1000 }), { code: "EXTENSION_UNAVAILABLE" });
  assert.equal(await foreign.evaluate(() => MivoDetector.ping({ timeout: 500 }).catch((e) => e.code)), "TIMEOUT", "no ping answered");
  const sandboxed = await sandboxedFrame(await bed.open(context));
  assert.deepEqual(await call(sandboxed, "IsInstalled", [], { timeout: 1000 }), { code: "EXTENSION_UNAVAILABLE" });
  const methods = ["$hello", "$ping", "IsInstalled", "StartMiVoVA", "GetUserId"];
  assert.deepEqual(await sandboxed.evaluate(postRaw, [methods, bed.origin]), methods.map(() => "EXTENSION_UNAVAILABLE"));
  assert.deepEqual(bed.hostStarts(), [], "no host was started for the refused pages");

  fs.renameSync(manifest, `${manifest}.away`);
  const unavailable = await (await bed.open(context)).evaluate(() => MivoDetector.connect().then(() => [], (e) => [e.code, e.message]));
  assert.equal(unavailable[0], "HOST_UNAVAILABLE");
  assert.match(unavailable[1], hostMissing, "the browser's own reason");
  fs.renameSync(`${manifest}.away`, manifest);
  page = await bed.open(context);
  assert.deepEqual(await call(page, "IsEnableCreateShortcut", [6]), { result: true });
  assert.equal(bed.hostStarts().length, 1);
});

test("the module form and a page bundled from the npm package answer as the script form", async () => {
  const answer = await page.evaluate(() => import("/mivo-detector.mjs").then((m) =>
    m.connect().then((d) => Promise.all([m.default === m.MivoDetector, d.road, d.GetChannelNum()]))));
  assert.deepEqual(answer, [true, "extension", Number(bed.facts.CHANNEL)]);
  const bundled = await (await bed.open(context, "/bundled.html")).evaluate(() => window.bundled);
  console.log(`# the bundled page: [global MivoDetector, methods, road, GetChannelNum()] = ${JSON.stringify(bundled)}`);
  assert.deepEqual(bundled, ["undefined", 18, "extension", Number(bed.facts.CHANNEL)]);
});

test("every method answers in the browser as the control answers JScript, commands included", async () => {
  const jscript = bed.cscript(path.join(bed.root, "tests/e2e/library_activex.js"));
  assert.ok(jscript.complete, jscript.lines.join("\n"));
  const calls = jscript.lines.filter((l) => l.startsWith("ANSWER ")).map((l) => {
    const [, method, args, result] = /^ANSWER (\S+) (\[.*\]) (.*)$/.exec(l);
    return { method, args: JSON.parse(args), result: JSON.parse(result) };
  });
  assert.equal(new Set(calls.map((c) => c.method)).size, 18);
  bed.stopClient();
  const before = bed.clientLog().length;

  for (const c of calls) {
    assert.deepEqual(await call(page, c.method, c.args), { result: c.result }, `${c.method}(${c.args})`);
  }
  const got = bed.clientLog().slice(before).map((r) => `${r.kind} ${r.text}`);
  const page_ = "http://video.example/v/345";
  assert.deepEqual(got, [`start "${bed.facts.CLIENT}" \\download=12,345,6789`, `copydata \\DetailPage=${page_}`,
                         `copydata \\OnlinePlay=${page_}/live`, "copydata \\custom=raw text"]);
});

test("a value set on one road is read on the other", async () => {
  const fromJScript = bed.cscript(path.join(__dirname, "shared_value.js"), { MV_KEY: "jscript.wrote", MV_SET: "set by JScript" });
  assert.ok(fromJScript.complete, fromJScript.lines.join("\n"));
  assert.deepEqual(await call(page, "GetValue", ["jscript.wrote"]), { result: "set by JScript" });
  assert.deepEqual(await call(page, "SetValue", ["browser.wrote", `set in ${browser}`]), { result: null });
  const back = bed.cscript(path.join(__dirname, "shared_value.js"), { MV_KEY: "browser.wrote", MV_EXPECT: `set in ${browser}` });
  assert.ok(back.complete, back.lines.join("\n"));
});

test("20 calls in flight from two tabs each get their own answer", async () => {
  const second = await bed.open(context);
  for (let i = 0; i < 10; i++) {
    await call(page, "SetValue", [`tab.a.${i}`, `a${i}`]);
    await call(second, "SetValue", [`tab.b.${i}`, `b${i}`]);
  }
  // Reads and channel checks interleaved, so a swapped answer shows as a wrong type or value.
  const batch = (tab) => Array.from({ length: 10 }, (_, i) =>
    i % 2 ? ["GetValue", [`tab.${tab}.${i}`]] : ["IsEnableCreateShortcut", [[1, 3, 6, 9, 16][i / 2]]]);
  const [a, b] = await Promise.all([callAll(page, batch("a")), callAll(second, batch("b"))]);
  const want = (tab) => Array.from({ length: 10 }, (_, i) => ({ result: i % 2 ? `${tab}${i}` : [true, false, true, false, true][i / 2] }));
  assert.deepEqual(a, want("a"));
  assert.deepEqual(b, want("b"));
  await second.close();
});

test("a call longer than the host reads is refused, not left unanswered", async () => {
  assert.deepEqual(await call(page, "SetValue", ["big", "x".repeat(1100000)]), { code: "TOO_LARGE" });
  assert.deepEqual(await call(page, "IsEnableCreateShortcut", [6]), { result: true });
});

// Straight to the content script: count requests the host could not parse
// (nested too deep, a lone surrogate), then a ping; what had been answered
// by the time the ping was.
function flood([count]) {
  const deep = (n) => (n ? [deep(n - 1)] : "x");
  const codes = {};
  return new Promise((resolve) => {
    addEventListener("message", (e) => {
      if (!e.data || e.data.type !== "mivo-detector:answer") return;
      if (e.data.id === "flood-ping") resolve(codes);
      else if (String(e.data.id).startsWith("flood-")) codes[e.data.error.code] = (codes[e.data.error.code] || 0) + 1;
    });
    for (let i = 0; i < count; i++) {
      postMessage({ type: "mivo-detector:request", id: `flood-${i}`, method: "SetValue",
                    args: ["flood", i % 2 ? deep(40) : "lone \ud800 surrogate"] }, "*");
    }
    postMessage({ type: "mivo-detector:request", id: "flood-ping", method: "$ping", args: [] }, "*");
  });
}

test("no page holds the channel: a flood stays in its page, calls in flight are bounded and die with their tab", async () => {
  // The background's own count where a test can read it (Chromium's service
  // worker); in Firefox the case checks what the pages see.
  const inFlight = context.background && (() => context.background(() => pending.size));
  const hog = await bed.open(context);
  const other = await bed.open(context);
  const checks = Array.from({ length: 10 }, (_, i) => ["IsEnableCreateShortcut", [[1, 3, 6, 9, 16][i % 5]]]);
  const want = checks.map((_, i) => ({ result: [true, false, true, false, true][i % 5] }));
  // The library gives up after 60 s here: a TIMEOUT below is the background's.
  assert.deepEqual(await callAll(other, checks, { callTimeout: 60000 }), want);
  assert.deepEqual(await call(hog, "GetChannelNum", []), { result: Number(bed.facts.CHANNEL) });

  const flooding = hog.evaluate(flood, [5000]);
  const started = Date.now();
  assert.deepEqual(await callAll(other, checks), want, "another tab is answered during the flood");
  console.log(`# 10 calls from another tab answered in ${Date.now() - started} ms while one tab sent 5000 bad requests`);
  assert.deepEqual(await flooding, { BAD_ARGUMENTS: 5000 }, "each bad request answered in its page");
  if (inFlight) assert.equal(await inFlight(), 0);

  // A host that answers nothing: 64 of the tab's 100 calls are with the
  // background, the rest wait in the page.
  const host = bed.hostStarts().at(-1);
  process.kill(host, "SIGSTOP");
  try {
    await hog.evaluate(() => window.__detector.then((d) => { for (let i = 0; i < 100; i++) d.GetChannelNum().catch(() => {}); }));
    if (inFlight) {
      while ((await inFlight()) < 64) await new Promise((r) => setTimeout(r, 50));
      await new Promise((r) => setTimeout(r, 500));
      assert.equal(await inFlight(), 64);
      await context.background(() => { self.tabClosed = new Promise((resolve) => chrome.tabs.onRemoved.addListener(resolve)); });
      await hog.close();
      await context.background(() => self.tabClosed);
      assert.equal(await inFlight(), 0, "nothing of the closed tab is pending");
    } else {
      await hog.close();
    }
    assert.deepEqual(await call(other, "GetChannelNum", []), { code: "TIMEOUT" }, "the background gave up on the host");
  } finally {
    process.kill(host, "SIGCONT");
  }
  // The host's late answers to the closed tab and the timed-out call settle nothing else.
  assert.deepEqual(await callAll(other, checks), want);
  if (!inFlight) return;
  assert.equal(await inFlight(), 0);

  // Past every check, as a broken page would never get: the host answers a
  // request it cannot parse without its id, which settles that call alone.
  const answers = await context.background((origin) => {
    const deep = (n) => (n ? [deep(n - 1)] : "x");
    const send = (args) => new Promise((resolve) => callHost(origin, "SetValue", args, null, resolve));
    return Promise.all([send(["unread", deep(40)]), send(["read", "x"])]);
  }, bed.origin);
  assert.deepEqual(answers, [{ error: answers[0].error }, { result: null }]);
  assert.equal(answers[0].error.code, "BAD_REQUEST");
});

test("a host killed with a call pending fails that call; the next call starts a new host", async () => {
  const host = bed.hostStarts().at(-1);
  process.kill(host, "SIGSTOP");
  let settled = false;
  const inFlight = call(page, "GetChannelNum", []).finally(() => { settled = true; });
  // Killed only once the call has reached the host.
  assert.ok(await bed.takeHostInput(host, () => settled), "the call reached the host");
  process.kill(host, "SIGKILL");
  assert.equal((await inFlight).code, "HOST_UNAVAILABLE");
  assert.deepEqual(await call(page, "GetChannelNum", []), { result: Number(bed.facts.CHANNEL) });
  assert.notEqual(bed.hostStarts().at(-1), host);
});

test("a locked installation serves the origins it names and refuses another before any work", async () => {
  const config = path.join(bed.clientDir, "mivo.cfg");
  const open = fs.readFileSync(config, "latin1");
  // An edit of mivo.cfg applies within a second: the host looks at a lock it
  // has read again only after a while.
  const settle = () => new Promise((resolve) => setTimeout(resolve, 1000));
  fs.writeFileSync(config, `${open}[sitelock]\r\nhttp://localhost\r\n`, "latin1");
  await settle();
  try {
    bed.stopClient();
    const before = bed.clientLog().length;
    const refused = await bed.open(context, `${bed.origin}/blank.html`);
    const sent = [["StartMiVoVA", []], ["DownLoad", [1, 2, 3]], ["SetValue", ["locked.out", "x"]], ["$hello", []]];
    const codes = await refused.evaluate((calls) => Promise.all(calls.map(([method, args], i) => new Promise((resolve) => {
      addEventListener("message", function answer(e) {
        if (e.data && e.data.type === "mivo-detector:answer" && e.data.id === `lock-${i}`) resolve(e.data.error && e.data.error.code);
      });
      postMessage({ type: "mivo-detector:request", id: `lock-${i}`, method, args }, "*");
    }))), sent);
    assert.deepEqual(codes, sent.map(() => "NOT_ALLOWED"), "the host refused each call");
    assert.deepEqual(await call(refused, "IsInstalled", []), { code: "NOT_ALLOWED" }, "and the library says so");

    const allowed = await bed.open(context, `http://localhost:${bed.port}/blank.html`);
    assert.deepEqual(await call(allowed, "GetChannelNum", []), { result: Number(bed.facts.CHANNEL) });
    assert.deepEqual(await call(allowed, "GetValue", ["locked.out"]), { result: "" }, "the refused SetValue stored nothing");
    assert.deepEqual(bed.clientLog().slice(before), [], "the refused calls reached no client");
  } finally {
    fs.writeFileSync(config, open, "latin1");
    await settle();
  }
});

test("an extension a store gave another id reaches the host where the build lists that id, and only there",
     { skip: browser !== "chromium" && "Firefox's add-on id is the manifest's own" }, async () => {
  const key = fs.readFileSync(path.join(__dirname, "store_extension_key.txt"), "utf8").trim();
  const hex = crypto.createHash("sha256").update(Buffer.from(key, "base64")).digest("hex").slice(0, 32);
  const id = [...hex].map((c) => "abcdefghijklmnop"[parseInt(c, 16)]).join("");
  assert.equal(id, process.env.MV_TEST_CHROME_ID, "the key gives the id the store build was made with");
  const extensionDir = path.join(bed.work, "extension-store");
  fs.cpSync(EXTENSION_DIR, extensionDir, { recursive: true });
  const file = path.join(extensionDir, "manifest.json");
  fs.writeFileSync(file, JSON.stringify({ ...JSON.parse(fs.readFileSync(file, "utf8")), key }));
  const storeHost = path.join(bed.prefix, "drive_c/store-ids");
  const manifestFile = path.join(storeHost, "com.mivo.detector.json");
  // --status's lines for the browsers whose manifest leaves out an id of ours.
  const refusing = (manifest) => {
    fs.writeFileSync(manifestFile, JSON.stringify(manifest));
    const out = path.join(bed.work, "store-status.txt");
    bed.shell(`wine "${storeHost}/$MV_BRIDGE_FILE" --status >"${out}" 2>&1; true`);
    return fs.readFileSync(out, "utf8").split(/\r?\n/).filter((l) => /does not allow/.test(l)).map((l) => l.split(/\s+/)[0]);
  };
  try {
    bed.shell(`mkdir -p "${storeHost}" && cp "$MV_STORE_IDS_BUILD/$MV_BRIDGE_FILE" "${storeHost}/" &&
               wine "${storeHost}/$MV_BRIDGE_FILE" --register`);
    const registered = JSON.parse(fs.readFileSync(manifestFile, "utf8").replace(/^\uFEFF/, ""));
    const origins = [id, process.env.MV_TEST_EDGE_ID].map((i) => `chrome-extension://${i}/`);
    assert.deepEqual(registered.allowed_origins, origins);
    assert.deepEqual(refusing({ ...registered, allowed_origins: origins.slice(0, 1) }), ["Chrome", "Chromium", "Edge"]);
    assert.deepEqual(refusing(registered), []);
  } finally {
    // Ours again, so the prefix is left as the bed made it.
    bed.shell(`wine "$MV_CLIENT_DIR/$MV_BRIDGE_FILE" --register`);
  }

  for (const [hostDir, want] of [[storeHost, "reached"], [bed.clientDir, "refused"]]) {
    const store = await bed.launch({ extensionDir, hostDir });
    try {
      assert.ok(store.serviceWorkers()[0].url().startsWith(`chrome-extension://${id}/`), "loaded with the store's id");
      const page = await bed.open(store);
      const answer = await page.evaluate(() => MivoDetector.connect().then((d) => d.IsEnableCreateShortcut(6)).then(
        (result) => ({ result }), (e) => ({ code: e.code, message: e.message })));
      if (want === "reached") assert.deepEqual(answer, { result: true });
      else assert.deepEqual([answer.code, /forbidden/i.test(answer.message)], ["HOST_UNAVAILABLE", true], JSON.stringify(answer));
    } finally {
      await store.close();
    }
  }
});
