// The npm package as the build packed it (MV_PAGE_PACKAGE), as the ecosystem
// checks one and as a page author's project takes it: installed from the
// tarball alone, type-checked, bundled into the page that browser.test.js
// runs; and loaded under Node, where there is no window.
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync, spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { ROOT, BUILD } = require("../../tools/browser/bed.js");

const tarball = process.env.MV_PAGE_PACKAGE;
const dir = path.join(BUILD, "browser", "package");
const bin = (file) => path.join(ROOT, "node_modules", file);
const env = { ...process.env, HOME: path.join(dir, "home"), npm_config_cache: path.join(dir, "npm-cache"), NO_COLOR: "1" };
const node = (args) => spawnSync(process.execPath, args, { cwd: dir, env, encoding: "utf8" });

test.before(() => {
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(path.join(dir, "site"), { recursive: true });
  fs.writeFileSync(path.join(dir, "package.json"), JSON.stringify({ private: true, type: "module" }));
  execFileSync("npm", ["install", "--offline", "--ignore-scripts", "--no-audit", "--no-fund", tarball], { cwd: dir, env, stdio: "pipe" });
});

test("publint and arethetypeswrong find nothing to report", () => {
  for (const args of [[bin("publint/src/cli.js"), "run", "--strict", tarball],
                      [bin("@arethetypeswrong/cli/dist/index.js"), "--format", "ascii", tarball]]) {
    const { status, stdout, stderr } = node(args);
    console.log(stdout.replace(/^/gm, "# "));
    assert.equal(status, 0, stdout + stderr);
  }
});

test("a page type-checks under both resolutions, declares no global, and bundles", () => {
  fs.copyFileSync(path.join(__dirname, "types/bundled.ts"), path.join(dir, "page.ts"));
  fs.copyFileSync(path.join(__dirname, "types/bundled.ts"), path.join(dir, "page.cts"));
  fs.writeFileSync(path.join(dir, "no-global.ts"), `import "mivo-detector";\nMivoDetector.ping();\n`);
  for (const [resolution, files] of [["bundler", ["page.ts"]], ["node16", ["page.ts", "page.cts"]]]) {
    fs.writeFileSync(path.join(dir, "tsconfig.json"), JSON.stringify({
      files: [...files, "no-global.ts"],
      compilerOptions: { strict: true, noEmit: true, target: "es2020", module: resolution === "bundler" ? "esnext" : resolution,
                         moduleResolution: resolution, lib: ["es2020", "dom"], types: [] },
    }));
    const { stdout } = node([bin("typescript/bin/tsc"), "-p", dir]);
    const errors = stdout.split("\n").filter((l) => l.includes("error TS"));
    assert.deepEqual(errors.map((l) => l.split("(")[0]), ["no-global.ts"], `${resolution}:\n${stdout}`);
    assert.match(errors[0], /Cannot find name 'MivoDetector'/);
  }
  const result = require(bin("esbuild")).buildSync({ absWorkingDir: dir, entryPoints: ["page.ts"], bundle: true, format: "iife",
                                                      outfile: "site/bundled.js", metafile: true, logLevel: "silent" });
  assert.deepEqual([result.errors, result.warnings], [[], []]);
  assert.deepEqual(Object.keys(result.metafile.inputs), ["node_modules/mivo-detector/mivo-detector.mjs", "page.ts"]);
  console.log(`# bundled: site/bundled.js, ${fs.statSync(path.join(dir, "site/bundled.js")).size} bytes`);
  fs.writeFileSync(path.join(dir, "site/bundled.html"), `<!DOCTYPE html>\n<meta charset="utf-8">\n<title>bundled page</title>\n<script src="/bundled.js"></script>\n`);
});

test("under Node, require and import give the names, write nothing, and fail calls as they should", () => {
  const probe = (load) => `const before = Object.getOwnPropertyNames(globalThis);
${load}.then((m) => {
  console.log(Object.keys(m).sort().join(" "));
  console.log("globals added: " + Object.getOwnPropertyNames(globalThis).filter((n) => !before.includes(n)).length);
  let returned = false;
  m.connect({}, (e, d) => console.log("callback after return: " + returned + " " + e.code + " " + d));
  returned = true;
  return Promise.all([m.connect(), m.ping()].map((p) => p.catch((e) => console.log("rejected: " + e.code))));
});`;
  for (const load of [`Promise.resolve(require("mivo-detector"))`, `import("mivo-detector")`]) {
    const { status, stdout, stderr } = node(["-e", probe(load)]);
    assert.deepEqual([status, stderr], [0, ""], load);
    assert.deepEqual(stdout.trim().split("\n"), ["MivoDetector connect default ping", "globals added: 0",
      "rejected: EXTENSION_UNAVAILABLE", "rejected: EXTENSION_UNAVAILABLE", "callback after return: true EXTENSION_UNAVAILABLE undefined"], load);
    console.log(`# ${load}: ${stdout.trim().split("\n").join(" | ")}`);
  }
});
