// Calls through mivo-detector.js inside a page: {result} or {code} of the error.
"use strict";

function inPage([calls, options]) {
  const w = window;
  // One detector per page; a failed connect is tried again by the next call.
  if (!w.__detector) w.__detector = MivoDetector.connect(options).catch((e) => { w.__detector = null; throw e; });
  return Promise.all(calls.map(([method, args]) =>
    w.__detector.then((d) => d[method](...args)).then((result) => ({ result }), (e) => ({ code: e.code }))));
}

const callAll = (page, calls, options = {}) => page.evaluate(inPage, [calls, options]);
const call = async (page, method, args, options = {}) => (await callAll(page, [[method, args]], options))[0];

module.exports = { call, callAll };
