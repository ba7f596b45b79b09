// The extension's background: one native messaging port to the MivoBridge
// host, shared by every page, with answers matched to requests by ids of its
// own (pages choose theirs, and two pages may choose the same).
"use strict";

// Firefox loads it first, as the manifest lists it.
if (typeof requestProblem !== "function") importScripts("request.js");

const HOST_NAME = "com.mivo.detector";
// The page library gives up after 10 s; a call the host has not answered by
// then is failed here too, so that nothing waits on a hung host for ever.
const CALL_TIMEOUT_MS = 10000;

let port = null;
let nextId = 1;
// host request id -> { respond, tab, timer }
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

function settle(id, reply) {
  const entry = pending.get(id);
  if (!entry) return;
  pending.delete(id);
  clearTimeout(entry.timer);
  entry.respond(reply);
}

// The host answers in order, one answer for each request, so each answer
// settles the oldest call still with it: by its id, or the oldest when the
// host could not read the id. A call failed meanwhile (timed out, its tab
// closed) keeps its place until its answer comes.
function onHostMessage(p, message) {
  const m = message && typeof message === "object" ? message : {};
  const at = p.sent.indexOf(m.id);
  const [id] = p.sent.splice(at < 0 ? 0 : at, 1);
  if (id === undefined) return;
  settle(id, m.error ? { error: m.error } : { result: m.result === undefined ? null : m.result });
}

function hostPort() {
  if (port) return port;
  const p = chrome.runtime.connectNative(HOST_NAME);
  p.sent = [];
  p.onMessage.addListener((message) => onHostMessage(p, message));
  p.onDisconnect.addListener((gone) => {
    // Chromium gives the reason in lastError; Firefox leaves that empty and
    // puts it on the port.
    const lastError = chrome.runtime.lastError;
    const why = (gone && gone.error && gone.error.message) || (lastError && lastError.message) || "the host exited";
    if (port === p) port = null;
    for (const id of p.sent.splice(0)) settle(id, error("HOST_UNAVAILABLE", "MivoBridge is not available: " + why));
  });
  port = p;
  return p;
}

function callHost(origin, method, args, tab, respond) {
  const id = nextId++;
  const timer = setTimeout(() => settle(id, error("TIMEOUT", `${method} was not answered within ${CALL_TIMEOUT_MS} ms`)),
                           CALL_TIMEOUT_MS);
  pending.set(id, { respond, tab, timer });
  let p;
  try {
    p = hostPort();
    p.postMessage({ id, method, args, origin });
    p.sent.push(id);
  } catch (e) {
    // A port that broke between two calls: the next call starts a new host.
    if (port === p) port = null;
    settle(id, error("HOST_UNAVAILABLE", "MivoBridge is not available: " + (e && e.message)));
  }
}

// A closed tab's calls are dropped; the host's answers to them still come,
// in their turn, and settle nothing.
chrome.tabs.onRemoved.addListener((tab) => {
  for (const [id, entry] of pending) {
    if (entry.tab !== tab) continue;
    clearTimeout(entry.timer);
    pending.delete(id);
  }
});

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
  const problem = requestProblem(message.method, message.args);
  if (problem) {
    respond({ error: problem });
    return false;
  }
  callHost(origin, message.method, message.args, sender.tab ? sender.tab.id : null, respond);
  return true;
});
