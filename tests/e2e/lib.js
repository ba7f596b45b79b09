// Check helpers put in front of every JScript step.
var mvShell = new ActiveXObject("WScript.Shell");
var mvFso = new ActiveXObject("Scripting.FileSystemObject");
var mvChecks = 0, mvFailures = 0;

function show(v) {
    if (typeof v === "string") return '"' + v + '"';
    return String(v) + " (" + typeof v + ")";
}
function check(ok, what) {
    mvChecks++;
    if (!ok) mvFailures++;
    WScript.Echo((ok ? "ok - " : "FAIL - ") + what);
}
function equal(actual, expected, what) {
    check(actual === expected,
          what + ": " + show(actual) + (actual === expected ? "" : ", expected " + show(expected)));
}
// A fact the installation recorded (tools/demo/client-install.sh).
function fact(name) {
    var v = mvShell.ExpandEnvironmentStrings("%MV_FACT_" + name + "%");
    if (v.charAt(0) === "%") throw new Error("fact " + name + " not set");
    return v;
}
function regRead(path) {
    try { return mvShell.RegRead(path); } catch (e) { return null; }
}
function runWait(commandLine) { return mvShell.Run(commandLine, 0, true); }
function create() { return new ActiveXObject("MiVoVA.MiVoDector"); }

// The stand-in client's log, one record a line: {kind, pid, text}; text is
// the command line (start) or the WM_COPYDATA payload (copydata), decoded
// from its UTF-16LE hex.
function decodeUtf16Hex(hex) {
    if (hex === "-") return "";
    var s = "";
    for (var i = 0; i + 3 < hex.length; i += 4)
        s += String.fromCharCode(parseInt(hex.substr(i + 2, 2) + hex.substr(i, 2), 16));
    return s;
}
function clientLog() {
    var path = fact("CLIENT") + ".log", records = [];
    if (!mvFso.FileExists(path)) return records;
    var file = mvFso.OpenTextFile(path, 1);
    var text = file.AtEndOfStream ? "" : file.ReadAll();
    file.Close();
    var lines = text.split("\n");
    for (var i = 0; i < lines.length; i++) {
        var f = lines[i].replace(/\r$/, "").split(" ");
        if (f[0] === "start") records.push({ kind: "start", pid: f[1], text: decodeUtf16Hex(f[2]) });
        else if (f[0] === "copydata")
            records.push({ kind: "copydata", pid: f[1], data: f[2], bytes: Number(f[3]), text: decodeUtf16Hex(f[4]) });
        else if (f[0]) records.push({ kind: f[0], pid: f[1] });
    }
    return records;
}
// Waits (bounded) until the log holds at least n records: the control
// returns once the client has the command, but the log is the client's.
function clientLogAtLeast(n) {
    var deadline = new Date().getTime() + 20000, log = clientLog();
    while (log.length < n && new Date().getTime() < deadline) log = clientLog();
    return log;
}

function mvFinish(marker) {
    if (mvChecks === 0) { WScript.Echo("FAIL - the step checked nothing"); WScript.Quit(1); }
    if (mvFailures > 0) { WScript.Echo(mvFailures + " of " + mvChecks + " checks failed"); WScript.Quit(1); }
    WScript.Echo(mvChecks + " checks passed");
    WScript.Echo(marker);
}
