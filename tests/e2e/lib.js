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
// ExpandEnvironmentStrings keeps the terminator in Wine: read the block itself.
function envVar(name) { return mvShell.Environment("PROCESS")(name); }
// A fact the installation recorded (tools/demo/client-install.sh).
function fact(name) {
    var v = envVar("MV_FACT_" + name);
    if (!v) throw new Error("fact " + name + " not set");
    return v;
}
function regRead(path) {
    try { return mvShell.RegRead(path); } catch (e) { return null; }
}
function runWait(commandLine) { return mvShell.Run(commandLine, 0, true); }
function create() { return new ActiveXObject("MiVoVA.MiVoDector"); }

// The stand-in client's log, beside the client (see clientlog.js).
function clientLog() { return readClientLog(fact("CLIENT") + ".log"); }
function clientLogAtLeast(n) { return waitForClientLog(fact("CLIENT") + ".log", n); }

function mvFinish(marker) {
    if (mvChecks === 0) { WScript.Echo("FAIL - the step checked nothing"); WScript.Quit(1); }
    if (mvFailures > 0) { WScript.Echo(mvFailures + " of " + mvChecks + " checks failed"); WScript.Quit(1); }
    WScript.Echo(mvChecks + " checks passed");
    WScript.Echo(marker);
}
