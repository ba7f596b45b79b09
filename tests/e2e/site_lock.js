// A locked installation under cscript, which gives the control a site that
// shows no page: every method is refused before doing anything. With the
// lock lifted the next control works again.
var config = fact("DIR") + "\\mivo.cfg";
var plain = "[channel]\r\nnum=" + fact("CHANNEL") + "\r\n";
function writeConfig(text) {
    var file = mvFso.CreateTextFile(config, true);
    file.Write(text);
    file.Close();
}
var calls = [
    function (c) { c.IsMiVoVAReady(); }, function (c) { c.StartMiVoVA(); }, function (c) { c.IsInstalled(); },
    function (c) { c.IsSupportDownload(); }, function (c) { c.DownLoad(1, 2, 3); },
    function (c) { c.ShowDetailPage("http://example.test/"); }, function (c) { c.GetMivoVAVersion(); },
    function (c) { c.OnlinePlay("http://example.test/"); }, function (c) { c.RunMivoPlayer("/js"); },
    function (c) { c.GetFirstInstallTime(); }, function (c) { c.GetUserId(); }, function (c) { c.IsShortcutCreated(4711); },
    function (c) { c.GetValue("sitelock.key"); }, function (c) { c.SetValue("sitelock.key", "x"); },
    function (c) { c.IsShortcutCreatedEx(1, 1); }, function (c) { c.GetChannelNum(); },
    function (c) { c.IsEnableCreateShortcut(1); }, function (c) { c.GetInstallTime(); }];

writeConfig(plain + "[sitelock]\r\nhttps://example.com\r\n");
var locked = create(), denied = 0;
for (var i = 0; i < calls.length; i++) {
    try { calls[i](locked); } catch (e) { if ((e.number >>> 0) === 0x80070005) denied++; }
}
equal(denied, 18, "every method refused with E_ACCESSDENIED");
equal(clientLog().length, 0, "nothing reached the client");

writeConfig(plain);
var open = create();
equal(open.GetChannelNum(), Number(fact("CHANNEL")), "an unlocked installation serves the next control");
equal(open.GetValue("sitelock.key"), "", "the refused SetValue stored nothing");
