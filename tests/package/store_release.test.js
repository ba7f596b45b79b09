// What a release gives the stores and takes back from them. The archives:
// Mozilla's validator (the one Firefox's store runs on every upload) finds
// nothing but the service worker key Firefox ignores; no manifest carries the
// development key or sites; the same sources make the same bytes, whatever
// their files' times. The ids: a package of a build given two store ids lets
// both in, and offers each browser its own store's item.
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync, spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");

const ROOT = path.resolve(__dirname, "../..");
const BUILD = process.env.MV_BUILD;
const VERSION = process.env.MV_VERSION;
const archive = (dir, store) => path.join(dir, `MivoDetector-${VERSION}-${store}.zip`);
const STORES = ["chrome-edge", "firefox"];

function entries(file) {
  const script = "import json,sys,zipfile;z=zipfile.ZipFile(sys.argv[1]);" +
                 "print(json.dumps([z.namelist(),json.loads(z.read('manifest.json'))]))";
  return JSON.parse(execFileSync("python3", ["-c", script, file], { encoding: "utf8" }));
}

test("the validator passes the Firefox archive", () => {
  const linter = path.join(path.dirname(require.resolve("addons-linter/package.json")), "bin/addons-linter");
  const run = spawnSync(process.execPath, [linter, "--output", "json", archive(BUILD, "firefox")], { encoding: "utf8" });
  const report = JSON.parse(run.stdout);
  assert.deepEqual(report.errors, []);
  assert.deepEqual(report.warnings.map((w) => w.code), ["BACKGROUND_SERVICE_WORKER_IGNORED"]);
});

test("each archive holds the production extension without its key", () => {
  const built = JSON.parse(fs.readFileSync(path.join(BUILD, "extension/manifest.json"), "utf8"));
  const identity = JSON.parse(fs.readFileSync(path.join(BUILD, "generated/HostIdentity.json"), "utf8"));
  assert.ok(built.key, "the unpacked build keeps the development key");
  for (const store of STORES) {
    const [names, manifest] = entries(archive(BUILD, store));
    assert.deepEqual(names, ["background.js", "content.js", "manifest.json", "request.js"], store);
    assert.equal(manifest.key, undefined, store);
    assert.deepEqual(manifest.host_permissions, built.host_permissions, store);
    const gecko = manifest.browser_specific_settings?.gecko;
    assert.equal(gecko?.id, store === "firefox" ? identity.firefoxAddonId : undefined, store);
  }
});

test("the same sources make the same archives", () => {
  const work = fs.mkdtempSync(path.join(BUILD, "store-archives-"));
  try {
    const source = path.join(work, "extension");
    fs.cpSync(path.join(BUILD, "extension"), source, { recursive: true });
    const later = new Date(Date.UTC(2031, 4, 5, 6, 7, 8));
    for (const name of fs.readdirSync(source)) fs.utimesSync(path.join(source, name), later, later);
    execFileSync("python3", [path.join(ROOT, "tools/package/store-archive.py"), source, work, VERSION]);
    for (const store of STORES)
      assert.ok(fs.readFileSync(archive(work, store)).equals(fs.readFileSync(archive(BUILD, store))), store);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
});

test("a package of a build with store ids allows each and offers each browser its own", () => {
  const work = fs.mkdtempSync(path.join(BUILD, "store-layout-"));
  try {
    const identity = path.join(process.env.MV_STORE_IDS_BUILD, "generated/HostIdentity.json");
    execFileSync(process.execPath, [path.join(ROOT, "tools/package/layout.js"), "--arch", "x86", "--version", "1.2.3",
                                    "--out", work, "--host", "MivoBridge.exe", "--identity", identity, "--control", "MivoDetector.dll"]);
    const chrome = process.env.MV_TEST_CHROME_ID, edge = process.env.MV_TEST_EDGE_ID;
    const manifest = JSON.parse(fs.readFileSync(path.join(work, "com.mivo.detector.json"), "utf8"));
    assert.deepEqual(manifest.allowed_origins, [chrome, edge].map((id) => `chrome-extension://${id}/`));
    const offers = fs.readFileSync(path.join(work, "Registry.idt"), "utf8").split("\r\n").map((row) => row.split("\t"))
      .filter((row) => row[5] === "ExtensionOffer").map((row) => [row[2], row[3], row[4]]);
    assert.deepEqual(offers, [
      [`Software\\Google\\Chrome\\Extensions\\${chrome}`, "update_url", "https://clients2.google.com/service/update2/crx"],
      [`Software\\Microsoft\\Edge\\Extensions\\${edge}`, "update_url", "https://edge.microsoft.com/extensionwebstorebase/v1/crx"],
    ]);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
});
