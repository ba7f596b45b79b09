// mivo-detector.js on its ActiveX road, with a stand-in for the browser's
// window: every method through the library answers as the control does when
// called straight, and the commands reach the client. Each answer is printed
// as "ANSWER <method> <args> <result>" (JSON), for the browser test to replay.
var window = {};
eval(mvFso.OpenTextFile(envVar("MV_LIBRARY"), 1).ReadAll());

function toJson(v) {
    if (v === null || v === undefined) return "null";
    if (typeof v === "number" || typeof v === "boolean") return String(v);
    if (typeof v === "string")
        return '"' + v.replace(/[\\"]/g, "\\$&").replace(/[^\x20-\x7e]/g, function (c) {
            return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
        }) + '"';
    var parts = [];
    for (var i = 0; i < v.length; i++) parts.push(toJson(v[i]));
    return "[" + parts.join(",") + "]";
}

var detector = null, connectError = null;
window.MivoDetector.connect({}, function (e, d) { connectError = e; detector = d; });
check(detector !== null && connectError === null, "connect found a road: " + (connectError && connectError.code));
equal(detector.road, "activex", "the road");

var playlist = Number(fact("PLAYLIST")), page = "http://video.example/v/345";
// [method, args, a command for the client]
var calls = [
    ["IsMiVoVAReady", []], ["IsInstalled", []], ["IsSupportDownload", []], ["GetMivoVAVersion", []],
    ["GetFirstInstallTime", []], ["GetInstallTime", []], ["GetUserId", []], ["GetChannelNum", []],
    ["IsShortcutCreated", [playlist]], ["IsShortcutCreated", [playlist + 1]],
    ["IsShortcutCreatedEx", [playlist, 1]], ["IsShortcutCreatedEx", [playlist, 0]],
    ["IsEnableCreateShortcut", [6]], ["IsEnableCreateShortcut", [3]],
    ["GetValue", ["never.stored"]], ["SetValue", ["road.value", "caf\u00e9 \u503c <&>"]], ["GetValue", ["road.value"]],
    ["DownLoad", [12, 345, 6789], true], ["StartMiVoVA", [], true], ["ShowDetailPage", [page], true],
    ["OnlinePlay", [page + "/live"], true], ["RunMivoPlayer", ["\\custom=raw text"], true]
];
var control = create();
for (var i = 0; i < calls.length; i++) {
    var name = calls[i][0], args = calls[i][1], got = "unanswered";
    detector[name].apply(null, args.concat([function (e, v) { got = e ? "error " + e.code : v; }]));
    if (!calls[i][2]) {
        var direct = args.length === 0 ? control[name]() : args.length === 1 ? control[name](args[0]) : control[name](args[0], args[1]);
        if (direct === undefined || (name === "GetUserId" && direct === 0)) direct = null;
        equal(got, direct, name + "(" + args.join(", ") + ") as the control answers it");
    } else {
        equal(got, null, name + " has no result");
    }
    WScript.Echo("ANSWER " + name + " " + toJson(args) + " " + toJson(got));
}

// What the client got: started by the first command, the rest by window message.
var log = clientLogAtLeast(4), texts = [];
for (var i = 0; i < log.length; i++) texts.push(log[i].kind + " " + log[i].text);
equal(texts.join("|"), ['start "' + fact("CLIENT") + '" \\download=12,345,6789', "copydata \\DetailPage=" + page,
                        "copydata \\OnlinePlay=" + page + "/live", "copydata \\custom=raw text"].join("|"),
      "the client was started, then sent the others");

var refused = null;
detector.IsEnableCreateShortcut("6", function (e) { refused = e && e.code; });
equal(refused, "BAD_ARGUMENTS", "a string where a number belongs is refused, as the host refuses it");
// Without Promise a failure has no other way to the page than the callback.
check(typeof Promise === "undefined", "cscript's JScript has no Promise");
var told = "untold";
detector.SetValue("only.a.key", function (e) { told = e && e.code; });
equal(told, "BAD_ARGUMENTS", "a callback where the value belongs is the callback, told the value is missing");
