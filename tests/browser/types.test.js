// The page library's declarations: a page using both calling styles and both
// forms type-checks; each wrong use below fails the check where it is made.
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { ROOT, BUILD } = require("../../tools/browser/bed.js");

const wrong = {
  "a string where a number goes": `d.DownLoad("12", 345, 6789);`,
  "a number where a string goes": `d.GetValue(42);`,
  "an argument missing": `d.SetValue("k");`,
  "a result taken as the wrong type": `const n: number = await d.GetValue("k");`,
  "a callback expecting the wrong type": `d.IsInstalled((e, v?: string) => {});`,
  "a bad option": `await connect({ timeout: "3s" });`,
};

test("the declarations accept the page and refuse each wrong use", () => {
  const dir = path.join(BUILD, "browser", "types");
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  // Laid out as a page author would: the built module and its declarations
  // beside the page, with the script form's, which declare its global.
  for (const name of ["mivo-detector.mjs", "mivo-detector.d.mts"]) fs.symlinkSync(path.join(BUILD, "web", name), path.join(dir, name));
  fs.symlinkSync(path.join(ROOT, "web/mivo-detector.d.ts"), path.join(dir, "mivo-detector.d.ts"));
  fs.copyFileSync(path.join(__dirname, "types/page.ts"), path.join(dir, "page.ts"));
  const files = ["page.ts", ...Object.keys(wrong).map((_, i) => `wrong-${i}.ts`)];
  Object.values(wrong).forEach((line, i) => fs.writeFileSync(path.join(dir, files[i + 1]),
    `import { connect } from "./mivo-detector.mjs";\nexport async function f() {\nconst d = await connect();\n${line}\n}\n`));
  fs.writeFileSync(path.join(dir, "tsconfig.json"), JSON.stringify({
    files,
    compilerOptions: {
      strict: true, noEmit: true, target: "es2020", module: "esnext", moduleResolution: "bundler",
      lib: ["es2020", "dom"], types: [],
    },
  }));
  let out = "";
  try {
    execFileSync(process.execPath, [path.join(ROOT, "node_modules/typescript/bin/tsc"), "-p", dir], { cwd: dir, encoding: "utf8" });
  } catch (e) {
    out = e.stdout;
  }
  const failed = (file) => out.split("\n").filter((l) => l.startsWith(file + "(") && l.includes("error TS"));
  assert.deepEqual(failed("page.ts"), [], out);
  Object.keys(wrong).forEach((name, i) => assert.equal(failed(files[i + 1]).length, 1, `${name}:\n${out}`));
});
