// The browser road's test bed, shared by the browser tests, the demo and the
// bench: a Wine prefix with a client installation, the control and
// MivoBridge.exe (registered) in the client's folder; a script that runs the
// host in that prefix, named by a native messaging host manifest with the
// content the host registered, in a throwaway Chromium profile or Firefox
// home; a local HTTP server for the pages; Debian's chromium (driven by
// playwright-core) or firefox-esr (by puppeteer-core over WebDriver BiDi)
// with the extension loaded. Everything lives under the build directory,
// with HOME redirected.
//
//   const bed = new Bed("mycase", { pagesDir, browser: "firefox" });  // build/browser/mycase
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
// The development build of the extension: the build's sites and this machine's.
const EXTENSION_DIR = path.join(BUILD, "extension-dev");
const HOST_NAME = "com.mivo.detector";
const CHROMIUM = process.env.MV_CHROMIUM || "/usr/bin/chromium";
const FIREFOX = process.env.MV_FIREFOX || "/usr/bin/firefox-esr";
const BROWSERS = ["chromium", "firefox"];
// Firefox's start settled in the profile: nothing first-run, nothing that
// calls out (this machine refuses the internet), plain http for page.test.
const FIREFOX_PREFS = {
  "app.update.disabledForTesting": true,
  "app.update.auto": false,
  "app.normandy.enabled": false,
  "app.shield.optoutstudies.enabled": false,
  "browser.aboutwelcome.enabled": false,
  "browser.backup.scheduled.enabled": false,
  "browser.discovery.enabled": false,
  "browser.newtabpage.enabled": false,
  "browser.region.update.enabled": false,
  "browser.safebrowsing.blockedURIs.enabled": false,
  "browser.safebrowsing.downloads.enabled": false,
  "browser.safebrowsing.malware.enabled": false,
  "browser.safebrowsing.phishing.enabled": false,
  "browser.search.update": false,
  "browser.shell.checkDefaultBrowser": false,
  "browser.startup.homepage_override.mstone": "ignore",
  "browser.startup.page": 0,
  "browser.tabs.warnOnClose": false,
  "datareporting.healthreport.uploadEnabled": false,
  "datareporting.policy.dataSubmissionEnabled": false,
  "dom.security.https_first": false,
  "dom.security.https_first_pbm": false,
  "dom.security.https_first_schemeless": false,
  "dom.security.https_only_mode": false,
  "extensions.blocklist.enabled": false,
  "extensions.getAddons.cache.enabled": false,
  "extensions.systemAddon.update.enabled": false,
  "extensions.update.enabled": false,
  "media.gmp-manager.updateEnabled": false,
  "network.captive-portal-service.enabled": false,
  "network.connectivity-service.enabled": false,
  "network.dns.localDomains": "page.test",
  "network.http.speculative-parallel-limit": 0,
  "privacy.reduceTimerPrecision": false,
  "services.settings.server": "data:,",
  "startup.homepage_welcome_url": "about:blank",
  "toolkit.telemetry.enabled": false,
  "toolkit.telemetry.server": "",
  "toolkit.telemetry.unified": false,
};
const PROGRAM_FILES = "drive_c/Program Files/Mivo";
const VIEWPORT = { width: 1100, height: 900 };

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
  const js = "text/javascript; charset=utf-8";
  const types = { ".html": "text/html; charset=utf-8", ".js": js, ".mjs": js, ".css": "text/css" };
  // The library's script form from the sources, its module form from the build.
  const roots = [path.join(ROOT, "web"), path.join(BUILD, "web"), ...[].concat(pagesDir || [])];
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

// Firefox's first lines on standard error, kept in a file; the BiDi address.
function startFirefox(args, env, logFile) {
  const child = spawn(FIREFOX, args, { env, stdio: ["ignore", "ignore", "pipe"] });
  const log = fs.createWriteStream(logFile);
  child.stderr.pipe(log);
  const exited = new Promise((resolve) => child.once("exit", resolve));
  return new Promise((resolve, reject) => {
    let seen = "";
    const read = (chunk) => {
      seen += chunk;
      const m = /WebDriver BiDi listening on (ws:\/\/\S+)/.exec(seen);
      if (!m) return;
      child.stderr.off("data", read);
      resolve({ child, exited, endpoint: m[1] });
    };
    child.stderr.on("data", read);
    child.once("error", reject);
    exited.then((code) => reject(new Error(`firefox-esr exited (${code}) before it listened; see ${logFile}`)));
  });
}

class Bed {
  // name: a folder under build/browser; client: lay out the client installation;
  // pagesDir: a folder of pages to serve too, or a list of them;
  // prefix: use this prefix, already up with the control registered, and leave it up;
  // browser: "chromium" or "firefox", what launch() starts by default.
  constructor(name, { client = true, pagesDir = null, prefix = null, browser = "chromium" } = {}) {
    if (!BROWSERS.includes(browser)) throw new Error(`no browser "${browser}": ${BROWSERS.join(" or ")}`);
    this.browser = browser;
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
      prefixShell(this.prefix, `${this.ownPrefix ? setup : ""} cp "$MV_BUILD/$MV_BRIDGE_FILE" "$MV_CLIENT_DIR/" &&
                  wine "$MV_CLIENT_DIR/$MV_BRIDGE_FILE" --register`, this.setupLog);
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

  // Resolves once a message waits in the host's input, taking it from there
  // (the host must be stopped); or with false once settled() is true.
  async takeHostInput(pid, settled) {
    const fd = fs.openSync(`/proc/${pid}/fd/0`, fs.constants.O_RDONLY | fs.constants.O_NONBLOCK);
    try {
      while (!settled()) {
        try {
          if (fs.readSync(fd, Buffer.alloc(1 << 16)) > 0) return true;
        } catch (e) {
          if (e.code !== "EAGAIN") throw e;
        }
        await new Promise((r) => setTimeout(r, 20));
      }
      return false;
    } finally {
      fs.closeSync(fd);
    }
  }

  hostStarts() {
    if (!fs.existsSync(this.hostLog)) return [];
    return fs.readFileSync(this.hostLog, "utf8").split("\n").filter(Boolean).map((l) => Number(l.split(" ")[1]));
  }

  // A profile of its own per browser; with a host manifest unless told not to.
  // What it returns opens pages (newPage), knows where its host manifest is
  // (manifestPath) and runs a function in the extension's background where
  // the browser allows it (background); the pages answer goto, evaluate,
  // $eval, click, screenshot alike in both browsers.
  launch({ browser = this.browser, ...options } = {}) {
    return browser === "firefox" ? this.launchFirefox(options) : this.launchChromium(options);
  }

  // extensionDir: another build of the extension; hostDir: the folder another
  // host registered its manifests in.
  async launchChromium({ extension = true, hostManifest = true, args = [], extensionDir = EXTENSION_DIR, hostDir } = {}) {
    const { chromium } = require("playwright-core");
    const profile = path.join(this.work, `profile-${this.contexts.length}`);
    const home = path.join(this.work, "home");
    fs.mkdirSync(home, { recursive: true });
    const manifestPath = path.join(profile, "NativeMessagingHosts", `${HOST_NAME}.json`);
    if (hostManifest) this.writeHostManifest(manifestPath, "chromium", hostDir);
    const flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--host-resolver-rules=MAP *.test 127.0.0.1",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync", ...args];
    if (extension) flags.push(`--disable-extensions-except=${extensionDir}`, `--load-extension=${extensionDir}`);
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: false, // --headless=new above: Playwright's own choice differs between versions
      args: flags,
      ignoreDefaultArgs: ["--disable-extensions"],
      env: { ...process.env, HOME: home, XDG_CONFIG_HOME: `${home}/.config`, XDG_CACHE_HOME: `${home}/.cache` },
      viewport: VIEWPORT,
    });
    Object.assign(context, { browserName: "chromium", manifestPath, background: (fn, arg) => context.serviceWorkers()[0].evaluate(fn, arg) });
    this.contexts.push(context);
    if (extension && context.serviceWorkers().length === 0) await context.waitForEvent("serviceworker");
    return context;
  }

  // Started by hand (Debian has no geckodriver), in a home and profile of its
  // own; the extension goes in as a temporary add-on over BiDi.
  async launchFirefox({ extension = true, hostManifest = true } = {}) {
    const puppeteer = require("puppeteer-core");
    const dir = path.join(this.work, `firefox-${this.contexts.length}`);
    const home = path.join(dir, "home");
    const profile = path.join(dir, "profile");
    fs.mkdirSync(profile, { recursive: true });
    fs.writeFileSync(path.join(profile, "user.js"), Object.entries(FIREFOX_PREFS)
      .map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(""));
    const manifestPath = path.join(home, ".mozilla/native-messaging-hosts", `${HOST_NAME}.json`);
    if (hostManifest) this.writeHostManifest(manifestPath, "firefox");
    const env = { ...process.env, HOME: home, XDG_CONFIG_HOME: `${home}/.config`, XDG_CACHE_HOME: `${home}/.cache`,
                  XDG_DATA_HOME: `${home}/.local/share`, XDG_STATE_HOME: `${home}/.local/state`, MOZ_CRASHREPORTER_DISABLE: "1" };
    const { child, exited, endpoint } = await startFirefox(
      ["--headless", "--no-remote", "--profile", profile, "--remote-debugging-port=0", "about:blank"], env, path.join(dir, "firefox.log"));
    let browser = null;
    // background: null, as Firefox's event page is out of a driver's reach.
    const context = { browserName: "firefox", manifestPath, extensionId: null, background: null };
    context.newPage = async () => {
      const page = await browser.newPage();
      await page.setViewport(VIEWPORT);
      return page;
    };
    context.close = async () => {
      if (browser) await Promise.race([browser.close().catch(() => {}), exited, new Promise((r) => setTimeout(r, 10000))]);
      if (child.exitCode === null && child.signalCode === null) child.kill("SIGKILL");
      await exited;
    };
    this.contexts.push(context);
    browser = await puppeteer.connect({ browserWSEndpoint: `${endpoint}/session`, protocol: "webDriverBiDi" });
    if (extension) {
      const want = JSON.parse(fs.readFileSync(path.join(EXTENSION_DIR, "manifest.json"), "utf8")).browser_specific_settings.gecko.id;
      context.extensionId = await browser.installExtension(EXTENSION_DIR);
      if (context.extensionId !== want) throw new Error(`Firefox loaded the extension as ${context.extensionId}, not ${want}`);
    }
    return context;
  }

  // The manifest MivoBridge.exe --register wrote for this browser, pointing
  // at the script that runs it under Wine instead of at the Windows path.
  writeHostManifest(file, browser, hostDir = this.clientDir) {
    const registered = path.join(hostDir, browser === "firefox" ? `${HOST_NAME}.firefox.json` : `${HOST_NAME}.json`);
    const manifest = JSON.parse(fs.readFileSync(registered, "utf8").replace(/^\uFEFF/, ""));
    manifest.path = this.hostScript;
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, JSON.stringify(manifest, null, 2));
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

  // Runs a shell command in the prefix, tools/wine-env.sh's variables set.
  shell(script) {
    prefixShell(this.prefix, script, this.setupLog);
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

module.exports = { Bed, BROWSERS, EXTENSION_DIR, HOST_NAME, ROOT, BUILD };
