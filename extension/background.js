// The extension's background: one native messaging port to the MivoBridge
// host, shared by every page, with answers matched to requests by ids of its
// own (pages choose theirs, and two pages may choose the same).
"use strict";

const HOST_NAME = "com.mivo.detector";
// The host reads past a longer request and answers it without its id, which
// would leave the call unanswered here: refuse it before sending.
const MAX_REQUEST_BYTES = 1024 * 1024;

let port = null;
let nextId = 1;
// host request id -> { port, respond }
const pending = new Map();

// The sites this build serves, as its manifest lists them for the content
// script and host access ("https://*.example.com/*": the domain and its
// subdomains, any port). A page anywhere else finds no extension.
const SERVED_SITES = (chrome.runtime.getManifest().host_permissions || []).map((pattern) => {
  const m = /^(https?):\/\/(\*\.)?([^/*]+)\/\*$/.exec(pattern);
  return m && { protocol: `${m[1]}:`, subdomains: Boolean(m[2]), host: m[3] };
}).filter(Boolean);

function parseOrigin(origin) {
  try {
    return new URL(origin);
  } catch (e) {
    return null;
  }
}

function isListedOrigin(origin) {
  const url = parseOrigin(origin);
  return Boolean(url) && SERVED_SITES.some((site) => url.protocol === site.protocol &&
    (url.hostname === site.host || (site.subdomains && url.hostname.endsWith(`.${site.host}`))));
}

// Secure contexts only: https pages, and plain http on this machine for
// development. Checked again behind the build's list, which a deployment sets.
function isSecureOrigin(origin) {
  const url = parseOrigin(origin);
  if (!url) return false;
  if (url.protocol === "https:") return true;
  return url.protocol === "http:" &&
         (url.hostname === "localhost" || url.hostname === "127.0.0.1" || url.hostname === "[::1]");
}

// The origin as the browser knows it, never as the page claims it. A browser
// that does not report it (Firefox before 126) is not served: a frame's URL
// does not tell a sandboxed frame from its parent's origin.
function senderOrigin(sender) {
  return typeof sender.origin === "string" ? sender.origin : null;
}

function error(code, message) {
  return { error: { code, message } };
}

function failPending(ofPort, message) {
  for (const [id, entry] of pending) {
    if (entry.port !== ofPort) continue;
    pending.delete(id);
    entry.respond(error("HOST_UNAVAILABLE", message));
  }
}

function onHostMessage(message) {
  if (!message || typeof message !== "object" || !pending.has(message.id)) return;
  const entry = pending.get(message.id);
  pending.delete(message.id);
  entry.respond(message.error ? { error: message.error } : { result: message.result === undefined ? null : message.result });
}

function hostPort() {
  if (port) return port;
  const p = chrome.runtime.connectNative(HOST_NAME);
  p.onMessage.addListener(onHostMessage);
  p.onDisconnect.addListener((gone) => {
    // Chromium gives the reason in lastError; Firefox leaves that empty and
    // puts it on the port.
    const lastError = chrome.runtime.lastError;
    const why = (gone && gone.error && gone.error.message) || (lastError && lastError.message) || "the host exited";
    if (port === p) port = null;
    failPending(p, "MivoBridge is not available: " + why);
  });
  port = p;
  return p;
}

function callHost(origin, method, args, respond) {
  const id = nextId++;
  const request = { id, method, args, origin };
  if (new TextEncoder().encode(JSON.stringify(request)).length > MAX_REQUEST_BYTES) {
    respond(error("TOO_LARGE", `the call is longer than the host accepts (${MAX_REQUEST_BYTES} bytes)`));
    return;
  }
  let p;
  try {
    p = hostPort();
    pending.set(id, { port: p, respond });
    p.postMessage(request);
  } catch (e) {
    // A port that broke between two calls: the next call starts a new host.
    pending.delete(id);
    if (port === p) port = null;
    respond(error("HOST_UNAVAILABLE", "MivoBridge is not available: " + (e && e.message)));
  }
}

chrome.runtime.onMessage.addListener((message, sender, respond) => {
  if (sender.id !== chrome.runtime.id || !message || typeof message !== "object") return false;
  // Unanswered: to a page outside the list the extension is not there.
  const origin = senderOrigin(sender);
  if (origin === null || !isListedOrigin(origin)) return false;
  if (message.method === "$ping") {
    respond({ result: { extension: "MivoDetector", version: chrome.runtime.getManifest().version } });
    return false;
  }
  if (!isSecureOrigin(origin)) {
    respond(error("NOT_ALLOWED", "pages on " + origin + " may not use MivoDetector: only https pages, " +
                  "and http pages on localhost, 127.0.0.1 or [::1]"));
    return false;
  }
  if (typeof message.method !== "string" || !Array.isArray(message.args)) {
    respond(error("BAD_REQUEST", "a call needs a method name and an array of arguments"));
    return false;
  }
  callHost(origin, message.method, message.args, respond);
  return true;
});
