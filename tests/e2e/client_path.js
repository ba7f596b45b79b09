// The control installed apart from the client finds the client through either
// recorded folder alone: the machine's, written in the 32-bit registry view as
// the client's 32-bit installer writes it, or the user's.
var quotedClient = '"' + fact("CLIENT") + '"';
var layouts = [
    { name: "machine's folder, 32-bit view", key: "HKLM\\Software\\MIVO\\MiVoVA\\InstallPath", view: " /reg:32" },
    { name: "user's folder", key: "HKCU\\Software\\MIVO\\MiVoVA", view: "" }
];
equal(create().IsInstalled(), false, "no folder recorded: not installed");
for (var i = 0; i < layouts.length; i++) {
    var c = layouts[i];
    equal(runWait('reg add "' + c.key + '" /v Path /t REG_SZ /d "' + fact("DIR") + '" /f' + c.view), 0, c.name + ": written");
    var control = create(), before = clientLog().length;
    equal(control.IsInstalled(), true, c.name + ": IsInstalled");
    control.DownLoad(1, 2, 3 + i);
    var log = clientLogAtLeast(before + 1), r = log[before] || {};
    equal(r.kind + " " + r.text, "start " + quotedClient + " \\download=1,2," + (3 + i), c.name + ": the client started with the command");
    runWait("taskkill /im MVPlayer.exe");
    clientLogAtLeast(before + 2);
    equal(runWait('reg delete "' + c.key + '" /v Path /f' + c.view), 0, c.name + ": removed again");
}
