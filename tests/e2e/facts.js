// Every reading method by name, against a complete client installation.
var control = create();

equal(control.IsInstalled(), true, "IsInstalled");
equal(control.IsMiVoVAReady(), true, "IsMiVoVAReady");

var parts = fact("VERSION").split(".");
var packed = ((Number(parts[0]) << 24) | (Number(parts[1]) << 16) | (Number(parts[2]) << 8) | Number(parts[3])) >>> 0;
equal(control.GetMivoVAVersion(), packed, "GetMivoVAVersion is " + fact("VERSION") + " packed");
equal(control.IsSupportDownload(), true, "IsSupportDownload for a 2.1 or later client");

equal(control.GetUserId(), Number(fact("USER_ID")), "GetUserId");
equal(control.GetFirstInstallTime(), fact("FIRST_INSTALL"), "GetFirstInstallTime");
equal(control.GetInstallTime(), fact("INSTALL"), "GetInstallTime");
equal(control.GetChannelNum(), Number(fact("CHANNEL")), "GetChannelNum from mivo.cfg");

var offered = [1, 2, 6, 7, 8, 16], refused = [0, 3, 5, 9, 15, 17, -1];
for (var i = 0; i < offered.length; i++)
    equal(control.IsEnableCreateShortcut(offered[i]), true, "IsEnableCreateShortcut(" + offered[i] + ")");
for (var i = 0; i < refused.length; i++)
    equal(control.IsEnableCreateShortcut(refused[i]), false, "IsEnableCreateShortcut(" + refused[i] + ")");

var unknown = false;
try { control.IsInstaled(); } catch (e) { unknown = true; }
check(unknown, "a misspelt method name is refused");
