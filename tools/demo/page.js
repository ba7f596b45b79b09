// What a web page would do with the control, run by cscript. Every one of
// the eighteen methods is called by name, and each answer is printed beside
// what the installation (tools/demo/client-install.sh) leads us to expect.
// clientlog.js is put in front of this file by demo.sh.
var shell = new ActiveXObject("WScript.Shell");
// ExpandEnvironmentStrings keeps the terminator in Wine: read the block itself.
function env(name) { return shell.Environment("PROCESS")(name); }
var withClient = env("MV_DEMO_CLIENT") !== "none";
var surprises = 0;

function pad(s, n) { s = String(s); while (s.length < n) s += " "; return s; }
function show(v) { return typeof v === "string" ? '"' + v + '"' : String(v); }
// One answer: the call, what came back, and a plain-words meaning.
function answer(call, value, expected, meaning) {
    var ok = value === expected;
    if (!ok) surprises++;
    var said = ok ? meaning : "UNEXPECTED, wanted " + show(expected);
    if (show(value).length < 23) WScript.Echo("  " + pad(call, 34) + pad(show(value), 24) + said);
    else { WScript.Echo("  " + pad(call, 34) + show(value)); WScript.Echo("  " + pad("", 58) + said); }
}
function note(text) { WScript.Echo("      " + text); }
function heading(text) { WScript.Echo(""); WScript.Echo(text); }
function dotted(v) { return [v >>> 24, (v >>> 16) & 255, (v >>> 8) & 255, v & 255].join("."); }

var control = new ActiveXObject("MiVoVA.MiVoDector");
WScript.Echo('The page created the control: new ActiveXObject("MiVoVA.MiVoDector").');

heading("Is the client there?");
var installed = control.IsInstalled();
answer("IsInstalled()", installed, withClient,
       installed ? "yes, MVPlayer.exe is installed" : "no, MVPlayer.exe is not installed here");
answer("IsMiVoVAReady()", control.IsMiVoVAReady(), withClient, "the same question, asked by its other name");

heading("Facts about the installed client");
var version = control.GetMivoVAVersion();
var wantVersion = 0;
if (withClient) {
    var p = env("MV_FACT_VERSION").split(".");
    wantVersion = ((p[0] << 24) | (p[1] << 16) | (p[2] << 8) | Number(p[3])) >>> 0;
}
answer("GetMivoVAVersion()", version, wantVersion,
       version ? "version " + dotted(version) + " (from MVVersion.dll)" : "no version: MVVersion.dll is not there");
answer("IsSupportDownload()", control.IsSupportDownload(), withClient,
       withClient ? "downloads are supported (2.1 or later)" : "no downloads without a client");
answer("GetUserId()", control.GetUserId(), withClient ? Number(env("MV_FACT_USER_ID")) : 0,
       withClient ? "the user's registration id" : "no registration id recorded");
answer("GetFirstInstallTime()", control.GetFirstInstallTime(), withClient ? env("MV_FACT_FIRST_INSTALL") : "",
       withClient ? "when the client was first installed" : "no install time recorded");
answer("GetInstallTime()", control.GetInstallTime(), withClient ? env("MV_FACT_INSTALL") : "",
       withClient ? "when the client was last installed" : "no install time recorded");
answer("GetChannelNum()", control.GetChannelNum(), withClient ? Number(env("MV_FACT_CHANNEL")) : 1011,
       withClient ? "the channel, from mivo.cfg" : "the default channel: there is no mivo.cfg");

heading("Playlist shortcuts on the desktop");
var playlist = Number(env("MV_FACT_PLAYLIST"));
if (withClient) note("The desktop holds one shortcut: MVPlayer.exe " + env("MV_FACT_SHORTCUT_ARGS"));
answer("IsShortcutCreated(" + playlist + ")", control.IsShortcutCreated(playlist), withClient,
       withClient ? "found: the page need not offer one" : "none found");
answer("IsShortcutCreatedEx(" + playlist + ", 1)", control.IsShortcutCreatedEx(playlist, 1), withClient,
       "the same, naming the URL launch key");
answer("IsShortcutCreatedEx(" + playlist + ", 0)", control.IsShortcutCreatedEx(playlist, 0), false,
       "no shortcut with the plain launch key");
answer("IsShortcutCreated(" + (playlist + 1) + ")", control.IsShortcutCreated(playlist + 1), false,
       "no shortcut for another playlist");
answer("IsEnableCreateShortcut(6)", control.IsEnableCreateShortcut(6), true, "channel 6 may offer shortcuts");
answer("IsEnableCreateShortcut(3)", control.IsEnableCreateShortcut(3), false, "channel 3 may not");

heading("Commands for the client");
var logPath = env("MV_FACT_CLIENT") + ".log";
var quoted = '"' + env("MV_FACT_CLIENT") + '"';
// Each command: the call, then what the stand-in client's log says it got.
function command(call, run, wantKind, wantText) {
    var before = readClientLog(logPath).length;
    run();
    var log = withClient && wantKind ? waitForClientLog(logPath, before + 1) : readClientLog(logPath);
    var got = log.slice(before);
    var ok, told;
    if (!withClient) {
        ok = got.length === 0;
        told = ok ? "nothing happens: there is no client to start" : "UNEXPECTED: something was started";
    } else if (!wantKind) {
        ok = got.length === 0;
        told = ok ? "the client already runs and is left alone (nothing sent)" : "UNEXPECTED: the client received " + show(got[0].text);
    } else {
        ok = got.length === 1 && got[0].kind === wantKind && got[0].text === wantText;
        var how = wantKind === "start" ? "the client was not running; it was started with the command line: "
                                        : "the running client received by WM_COPYDATA: ";
        told = ok ? how + got[0].text
                  : "UNEXPECTED: " + (got.length ? got[0].kind + " " + show(got[0].text) : "the client got nothing");
    }
    if (!ok) surprises++;
    WScript.Echo("  " + call);
    note("-> " + told);
}
command("DownLoad(12, 345, 6789)", function () { control.DownLoad(12, 345, 6789); },
        "start", quoted + " \\download=12,345,6789");
command("StartMiVoVA()", function () { control.StartMiVoVA(); }, null, null);
command('ShowDetailPage("http://video.example/v/345")',
        function () { control.ShowDetailPage("http://video.example/v/345"); },
        "copydata", "\\DetailPage=http://video.example/v/345");
command('OnlinePlay("http://video.example/live/7")', function () { control.OnlinePlay("http://video.example/live/7"); },
        "copydata", "\\OnlinePlay=http://video.example/live/7");
command('RunMivoPlayer("http://video.example/play?id=9")',
        function () { control.RunMivoPlayer("http://video.example/play?id=9"); },
        "copydata", "http://video.example/play?id=9");

heading("Values kept for the user (UserData.xml in the documents folder)");
var key = env("MV_DEMO_KEY"), value = env("MV_DEMO_VALUE");
control.SetValue(key, value);
WScript.Echo("  " + pad('SetValue("' + key + '", ...)', 34) + "stored " + show(value));
answer('GetValue("' + key + '")', control.GetValue(key), value, "read back in this process");
answer('GetValue("never.stored")', control.GetValue("never.stored"), "", "a key never stored reads empty");

WScript.Echo("");
WScript.Echo("PAGE-RESULT " + surprises);
