// The extension as the build makes it: the sites it serves are exactly the
// list it was built with, in its content script and its host access alike,
// and a list that would open it wider is refused.
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { ROOT, BUILD } = require("../../tools/browser/bed.js");

const LOCAL = ["http://localhost/*", "http://127.0.0.1/*", "http://[::1]/*"];

function readManifest(dir) {
  const manifest = JSON.parse(fs.readFileSync(path.join(dir, "manifest.json"), "utf8"));
  assert.deepEqual(manifest.content_scripts.map((c) => c.matches), [manifest.host_permissions],
                   "the content script runs where the extension has host access");
  return manifest;
}

function build(sites, dev) {
  const out = fs.mkdtempSync(path.join(BUILD, "extension-case-"));
  const run = spawnSync("cmake", [`-DMV_SOURCE=${ROOT}/extension`, `-DMV_OUT=${out}`, "-DMV_VERSION=2.3.4",
                                  "-DMV_FIREFOX_ADDON_ID=case@example.com",
                                  `-DMV_SITES=${sites}`, `-DMV_DEV=${dev ? "ON" : "OFF"}`, "-P", `${ROOT}/cmake/Extension.cmake`],
                        { encoding: "utf8" });
  try {
    return run.status === 0 ? readManifest(out) : null;
  } finally {
    fs.rmSync(out, { recursive: true, force: true });
  }
}

test("the sites a build serves", () => {
  const cases = [
    ["https://*.mivo.com", false, ["https://*.mivo.com/*"]],
    ["https://*.example.com, https://video.example.org", true,
     ["https://*.example.com/*", "https://video.example.org/*", ...LOCAL]],
    ["http://example.com", false, null],
    ["https://*.com", false, null],
    ["https://*", false, null],
    ["https://example.com:8443", false, null],
    ["https://example.com/app", false, null],
    ["", true, null],
  ];
  for (const [sites, dev, want] of cases) {
    const manifest = build(sites, dev);
    assert.deepEqual(manifest && manifest.host_permissions, want, `"${sites}"`);
    if (manifest) assert.equal(manifest.version, "2.3.4");
  }
});

test("make build left both extensions, with the build's sites", () => {
  const sites = (process.env.MV_EXTENSION_SITES || "").split(",").filter(Boolean).map((s) => `${s}/*`);
  assert.deepEqual(readManifest(path.join(BUILD, "extension")).host_permissions, sites);
  assert.deepEqual(readManifest(path.join(BUILD, "extension-dev")).host_permissions, [...sites, ...LOCAL]);
});
