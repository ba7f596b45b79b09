// What a page may ask of the host, checked where a request enters: in the
// content script, so that a bad request never leaves the page (the browser's
// page-to-extension messaging is itself a channel a flood would fill), and in
// the background again. The host refuses the same requests; answered here,
// they cannot reach it as something it cannot parse and answer by id.
"use strict";

// Argument types of each method: "i" a signed 32-bit integer, "s" a string.
const REQUEST_METHODS = new Map([
  ["$ping", ""], ["$hello", ""],
  ["IsMiVoVAReady", ""], ["StartMiVoVA", ""], ["IsInstalled", ""], ["IsSupportDownload", ""],
  ["DownLoad", "iii"], ["ShowDetailPage", "s"], ["GetMivoVAVersion", ""], ["OnlinePlay", "s"],
  ["RunMivoPlayer", "s"], ["GetFirstInstallTime", ""], ["GetUserId", ""], ["IsShortcutCreated", "i"],
  ["GetValue", "s"], ["SetValue", "ss"], ["IsShortcutCreatedEx", "ii"], ["GetChannelNum", ""],
  ["IsEnableCreateShortcut", "i"], ["GetInstallTime", ""],
]);
// The host reads at most 1 MiB a request; the background adds the id and the
// page's origin to the method and arguments checked here.
const REQUEST_MAX_BYTES = 1024 * 1024 - 4096;

function isWellFormedText(s) {
  return typeof s.isWellFormed === "function" ? s.isWellFormed()
    : !/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?:^|[^\uD800-\uDBFF])[\uDC00-\uDFFF]/.test(s);
}

// null when the call may go to the host, else the error to answer it with.
function requestProblem(method, args) {
  const problem = (code, message) => ({ code, message });
  if (typeof method !== "string" || !REQUEST_METHODS.has(method))
    return problem("UNKNOWN_METHOD", "no method of that name (names are case-sensitive)");
  if (!Array.isArray(args)) return problem("BAD_REQUEST", "a call needs an array of arguments");
  const types = REQUEST_METHODS.get(method);
  if (args.length !== types.length)
    return problem("BAD_ARGUMENTS", `${method} takes ${types.length} argument${types.length === 1 ? "" : "s"}, not ${args.length}`);
  for (let i = 0; i < types.length; i++) {
    const a = args[i];
    if (types[i] === "i" ? !Number.isInteger(a) || a < -2147483648 || a > 2147483647 : typeof a !== "string")
      return problem("BAD_ARGUMENTS", `argument ${i + 1} of ${method} must be ${types[i] === "i" ? "a 32-bit integer" : "a string"}`);
    if (types[i] === "s" && !isWellFormedText(a))
      return problem("BAD_ARGUMENTS", `argument ${i + 1} of ${method} is not well-formed text (a lone surrogate)`);
  }
  if (types.includes("s") && new TextEncoder().encode(JSON.stringify(args)).length > REQUEST_MAX_BYTES)
    return problem("TOO_LARGE", "the call is longer than the host accepts (1 MiB)");
  return null;
}
