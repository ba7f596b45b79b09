// Relays a page's calls to the extension's background and the answers back.
// Only messages the page posts to its own window are taken: a frame or
// another window cannot speak through this page. A malformed call is
// answered here (request.js); at most MAX_IN_FLIGHT calls of this frame are
// with the background at once, later ones wait their turn in order. The
// background decides what may reach the host, from the origin the browser
// reports for this frame.
(function () {
  "use strict";
  const REQUEST = "mivo-detector:request";
  const ANSWER = "mivo-detector:answer";
  const MAX_IN_FLIGHT = 64;

  let inFlight = 0;
  const waiting = [];

  function answer(targetOrigin, id, reply) {
    const message = { type: ANSWER, id };
    if (reply && reply.error) message.error = reply.error;
    else message.result = reply ? reply.result : null;
    window.postMessage(message, targetOrigin);
  }

  function unavailable(why) {
    return { error: { code: "EXTENSION_UNAVAILABLE", message: why } };
  }

  function relay({ request, reply }) {
    inFlight++;
    const settle = (r) => {
      inFlight--;
      reply(r);
      next();
    };
    try {
      chrome.runtime.sendMessage(request, (r) => {
        if (chrome.runtime.lastError || !r)
          settle(unavailable("the extension's background did not answer: " +
                             (chrome.runtime.lastError ? chrome.runtime.lastError.message : "no reply")));
        else settle(r);
      });
    } catch (e) {
      // The extension was reloaded or removed while the page stayed open.
      settle(unavailable(String(e && e.message)));
    }
  }

  function next() {
    while (inFlight < MAX_IN_FLIGHT && waiting.length) relay(waiting.shift());
  }

  window.addEventListener("message", (event) => {
    if (event.source !== window) return;
    const m = event.data;
    if (!m || typeof m !== "object" || m.type !== REQUEST) return;
    if (typeof m.id !== "string" && typeof m.id !== "number") return;
    const targetOrigin = event.origin && event.origin !== "null" ? event.origin : "*";
    const reply = (r) => answer(targetOrigin, m.id, r);
    const problem = requestProblem(m.method, m.args);
    if (problem) {
      reply({ error: problem });
      return;
    }
    waiting.push({ request: { method: m.method, args: Array.from(m.args) }, reply });
    next();
  });
})();
