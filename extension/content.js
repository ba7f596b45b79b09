// Relays a page's calls to the extension's background and the answers back.
// Only messages the page posts to its own window are taken: a frame or
// another window cannot speak through this page. The background decides what
// may reach the host, from the origin the browser reports for this frame.
(function () {
  "use strict";
  const REQUEST = "mivo-detector:request";
  const ANSWER = "mivo-detector:answer";

  function answer(targetOrigin, id, reply) {
    const message = { type: ANSWER, id };
    if (reply && reply.error) message.error = reply.error;
    else message.result = reply ? reply.result : null;
    window.postMessage(message, targetOrigin);
  }

  window.addEventListener("message", (event) => {
    if (event.source !== window) return;
    const m = event.data;
    if (!m || typeof m !== "object" || m.type !== REQUEST) return;
    if (typeof m.id !== "string" && typeof m.id !== "number") return;
    const targetOrigin = event.origin && event.origin !== "null" ? event.origin : "*";
    const unavailable = (why) =>
      answer(targetOrigin, m.id, { error: { code: "EXTENSION_UNAVAILABLE", message: why } });
    try {
      chrome.runtime.sendMessage({ method: m.method, args: m.args }, (reply) => {
        if (chrome.runtime.lastError || !reply)
          unavailable("the extension's background did not answer: " +
                      (chrome.runtime.lastError ? chrome.runtime.lastError.message : "no reply"));
        else answer(targetOrigin, m.id, reply);
      });
    } catch (e) {
      // The extension was reloaded or removed while the page stayed open.
      unavailable(String(e && e.message));
    }
  });
})();
