// The browser road's test bed, shared by the browser tests and the demo: a
// Wine prefix with a client installation, the control and MivoBridge.exe in
// the client's folder; a script that runs the host in that prefix, named by
// a native messaging host manifest in a throwaway Chromium profile; a local
// HTTP server for the pages; Debian's chromium with the extension loaded.
// Everything lives under the build directory, with HOME redirected.
//
//   const bed = new Bed("mycase", { pagesDir });   // build/browser/mycase
//   await bed.start();                              // prefix, host script, server
//   const page = await bed.open(await bed.launch());
//   ... bed.cscript(step), bed.clientLog(), bed.hostStarts(), bed.stopClient()
//   await bed.stop();                               // browsers, server, Wine
"use strict";

const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");

const ROOT = path.resolve(__dirname, "../..");
// The build the tests run (build/x64 where the machine runs no 32-bit code).
const BUILD = process.env.MV_BUILD ||
  execFileSync("bash", ["-c", `source "${path.join(ROOT, "tools/wine-env.sh")}"; printf %s "$MV_BUILD"`], { encoding: "utf8" });
const TOOLS = path.join(ROOT, "tools");
const EXTENSION_DIR = path.join(ROOT, "extension");
const HOST_NAME = "com.mivo.detector";
const EXTENSION_ID = "cghpnbigjdjbpeelkgkgbjodnenhfdoc";
const CHROMIUM = process.env.MV_CHROMIUM || "/usr/bin/chromium";
const PROGRAM_FILES = "drive_c/Program Files/Mivo";

// Bash in the prefix's environment (wine-env.sh, client-install.sh loaded).
// Output goes to a file: Wine's services would hold a pipe open for ever.
function prefixShell(prefix, script, logFile, extraEnv = {}) {
  const out = fs.openSync(logFile, "a");
  try {
    return execFileSync("bash", ["-c", `source "${TOOLS}/wine-env.sh"; source "${TOOLS}/demo/client-install.sh"; ${script}`], {
      env: { ...process.env, MV_BUILD: BUILD, MV_PREFIX: prefix, ...extraEnv },
      stdio: ["ignore", out, out],
      timeout: 300000,
    });
  } finally {
    fs.closeSync(out);
  }
}

function readFacts() {
  const text = execFileSync("bash", ["-c", `WINEPREFIX=/nonexistent; source "${TOOLS}/demo/client-install.sh"; env`], {
    encoding: "utf8",
  });
  const facts = {};
  for (const line of text.split("\n")) {
    const m = /^MV_FACT_([A-Z_]+)=(.*)$/.exec(line);
    if (m) facts[m[1]] = m[2];
  }
  return facts;
}

// The stand-in client's log (tests/fixtures/standin_client): {kind, pid, text}.
function decodeUtf16Hex(hex) {
  return !hex || hex === "-" ? "" : Buffer.from(hex, "hex").toString("utf16le");
}
function parseClientLog(text) {
  return text.split("\n").filter(Boolean).map((line) => {
    const f = line.split(" ");
    if (f[0] === "start") return { kind: "start", pid: f[1], text: decodeUtf16Hex(f[2]) };
    if (f[0] === "copydata") return { kind: "copydata", pid: f[1], text: decodeUtf16Hex(f[4]) };
    return { kind: f[0], pid: f[1] };
  });
}

function serve(pagesDir) {
  const types = { ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".css": "text/css" };
  const roots = [path.join(ROOT, "web"), pagesDir].filter(Boolean);
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, "http://x").pathname).replace(/^\/+/, "") || "index.html";
    for (const dir of roots) {
      const file = path.join(dir, name);
      if (file.startsWith(dir + path.sep) && fs.existsSync(file) && fs.statSync(file).isFile()) {
        res.writeHead(200, { "content-type": types[path.extname(file)] || "application/octet-stream" });
        res.end(fs.readFileSync(file));
        return;
      }
    }
    res.writeHead(404).end();
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

class Bed {
  // name: a folder under build/browser; client: lay out the client installation;
  // prefix: use this prefix, already up with the control registered, and leave it up.
  constructor(name, { client = true, pagesDir = null, prefix = null } = {}) {
    this.name = name;
    this.root = ROOT;
    this.client = client;
    this.pagesDir = pagesDir;
    this.work = path.join(BUILD, "browser", name);
    this.ownPrefix = !prefix;
    this.prefix = prefix || path.join(this.work, "prefix");
    this.setupLog = path.join(this.work, "setup.log");
    this.hostLog = path.join(this.work, "host.log");
    this.clientDir = path.join(this.prefix, PROGRAM_FILES);
    this.facts = readFacts();
    this.contexts = [];
  }

  async start() {
    fs.rmSync(this.work, { recursive: true, force: true });
    fs.mkdirSync(this.work, { recursive: true });
    const install = this.client ? "mv_install_client || exit 1;" : "";
    const setup = `"${TOOLS}/prefix.sh" up "$MV_PREFIX" || exit 1; ${install} mv_install_control && mv_register machine &&`;
    try {
      prefixShell(this.prefix, `${this.ownPrefix ? setup : ""} cp "$MV_BUILD/$MV_BRIDGE_FILE" "$MV_CLIENT_DIR/"`, this.setupLog);
    } catch (e) {
      await this.stop(); // a half-made prefix must not keep its Wine server running
      throw e;
    }
    this.hostScript = this.writeHostScript();
    this.server = await serve(this.pagesDir);
    this.port = this.server.address().port;
    this.origin = `http://127.0.0.1:${this.port}`;
    return this;
  }

  // Chromium runs this for the host: MivoBridge.exe under Wine in our prefix.
  // Each start is logged with its process id (exec keeps it) before Wine runs.
  writeHostScript() {
    const file = path.join(this.work, "mivobridge-host.sh");
    const q = (s) => `'${s.replace(/'/g, `'\\''`)}'`;
    fs.writeFileSync(file, `#!/bin/bash
echo "start $$ $*" >>${q(this.hostLog)}
export MV_PREFIX=${q(this.prefix)} MV_BUILD=${q(BUILD)}${process.env.MV_WINEARCH ? ` MV_WINEARCH=${q(process.env.MV_WINEARCH)}` : ""}
. ${q(path.join(TOOLS, "wine-env.sh"))}
exec wine ${q(this.clientDir)}/"$MV_BRIDGE_FILE" "$@" 2>>${q(path.join(this.work, "host.stderr"))}
`, { mode: 0o755 });
    return file;
  }

  hostStarts() {
    if (!fs.existsSync(this.hostLog)) return [];
    return fs.readFileSync(this.hostLog, "utf8").split("\n").filter(Boolean).map((l) => Number(l.split(" ")[1]));
  }

  // A profile of its own per browser; with a host manifest unless told not to.
  async launch({ extension = true, hostManifest = true, args = [] } = {}) {
    const { chromium } = require("playwright-core");
    const profile = path.join(this.work, `profile-${this.contexts.length}`);
    const home = path.join(this.work, "home");
    fs.mkdirSync(home, { recursive: true });
    if (hostManifest) this.writeHostManifest(profile);
    const flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync", ...args];
    if (extension) flags.push(`--disable-extensions-except=${EXTENSION_DIR}`, `--load-extension=${EXTENSION_DIR}`);
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: false, // --headless=new above: Playwright's own choice differs between versions
      args: flags,
      ignoreDefaultArgs: ["--disable-extensions"],
      env: { ...process.env, HOME: home, XDG_CONFIG_HOME: `${home}/.config`, XDG_CACHE_HOME: `${home}/.cache` },
      viewport: { width: 1100, height: 900 },
    });
    context.profileDir = profile;
    this.contexts.push(context);
    if (extension && context.serviceWorkers().length === 0) await context.waitForEvent("serviceworker");
    return context;
  }

  // Where Chromium looks for the host, for a profile folder or a launched context.
  hostManifestPath(profile) {
    return path.join(profile.profileDir || profile, "NativeMessagingHosts", `${HOST_NAME}.json`);
  }

  writeHostManifest(profile) {
    const file = this.hostManifestPath(profile);
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, JSON.stringify({
      name: HOST_NAME,
      description: "MivoBridge under Wine, for tests",
      path: this.hostScript,
      type: "stdio",
      allowed_origins: [`chrome-extension://${EXTENSION_ID}/`],
    }, null, 2));
  }

  // A page that has loaded the library (any page under web/ or pagesDir).
  async open(context, url = "/blank.html") {
    const page = await context.newPage();
    await page.goto(url.startsWith("http") ? url : this.origin + url);
    return page;
  }

  clientLog() {
    const file = path.join(this.clientDir, "MVPlayer.exe.log");
    return fs.existsSync(file) ? parseClientLog(fs.readFileSync(file, "utf8")) : [];
  }

  // Closes running clients, so that the next command starts one again.
  stopClient() {
    prefixShell(this.prefix, "mv_stop_client", this.setupLog);
  }

  // A JScript step run by cscript in the prefix with the end-to-end check
  // helpers in front; its output lines, and whether it ran to its end.
  cscript(step, env = {}) {
    const combined = path.join(this.work, path.basename(step));
    const marker = "BROWSER-BED-STEP-COMPLETE";
    fs.writeFileSync(combined, [path.join(TOOLS, "demo/clientlog.js"), path.join(ROOT, "tests/e2e/lib.js"), step]
      .map((f) => fs.readFileSync(f, "utf8")).join("\n") + `\nmvFinish("${marker}");\n`);
    const out = `${combined}.out`;
    fs.rmSync(out, { force: true });
    const library = "Z:" + path.join(ROOT, "web/mivo-detector.js").replace(/\//g, "\\");
    prefixShell(this.prefix, `timeout 300 wine cscript //nologo "$(winepath -w "${combined}" 2>/dev/null)" </dev/null >"${out}" 2>&1`,
                this.setupLog, { MV_LIBRARY: library, ...env });
    const lines = fs.readFileSync(out, "utf8").replace(/\r/g, "").split("\n");
    return { lines, complete: lines.includes(marker) };
  }

  async stop() {
    for (const context of this.contexts) await context.close().catch(() => {});
    this.contexts = [];
    if (this.server) this.server.close();
    if (!this.ownPrefix) return;
    try {
      prefixShell(this.prefix, `"${TOOLS}/prefix.sh" down "$MV_PREFIX"`, this.setupLog);
    } catch (e) { /* nothing left to stop */ }
  }
}

module.exports = { Bed, EXTENSION_ID, HOST_NAME, ROOT, BUILD };
