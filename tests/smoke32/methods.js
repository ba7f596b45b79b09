// Every method by name, in one process. The same script runs against the
// 64-bit and the 32-bit control and their outputs must match line for line,
// so each answer is printed as well as checked. The cases lean on what the
// two builds do differently: 32-bit integers at their limits, long texts
// (buffer lengths), commands handed over in WM_COPYDATA (a structure with
// pointer-sized fields, here between a 32-bit caller and a 64-bit client).
var control = create();
function answer(call, v) { WScript.Echo("answer " + call + " = " + show(v)); return v; }

equal(answer("IsInstalled", control.IsInstalled()), true, "IsInstalled");
equal(answer("IsMiVoVAReady", control.IsMiVoVAReady()), true, "IsMiVoVAReady");
equal(answer("IsSupportDownload", control.IsSupportDownload), true, "IsSupportDownload read as a property");
answer("GetMivoVAVersion", control.GetMivoVAVersion());
equal(answer("GetUserId", control.GetUserId()), Number(fact("USER_ID")), "GetUserId");
equal(answer("GetFirstInstallTime", control.GetFirstInstallTime()), fact("FIRST_INSTALL"), "GetFirstInstallTime");
equal(answer("GetInstallTime", control.getinstalltime()), fact("INSTALL"), "GetInstallTime in another case");
equal(answer("GetChannelNum", control.GetChannelNum()), Number(fact("CHANNEL")), "GetChannelNum");
var cids = [16, 3, -2147483648, 2147483647];
for (var i = 0; i < cids.length; i++)
    answer("IsEnableCreateShortcut(" + cids[i] + ")", control.IsEnableCreateShortcut(cids[i]));
equal(answer("IsShortcutCreated", control.IsShortcutCreated(Number(fact("PLAYLIST")))), true, "IsShortcutCreated");
for (var src = -1; src <= 2; src++)
    answer("IsShortcutCreatedEx(" + src + ")", control.IsShortcutCreatedEx(Number(fact("PLAYLIST")), src));

var long = "";
while (long.length < 100000) long += "\u5f71\u97f3 <&> \"x\" caf\u00e9 ";
long = long.substr(0, 100000);
equal(answer("GetValue before", control.GetValue("smoke.long")), "", "a key never stored reads empty");
control.SetValue("smoke.long", long);
control.SetValue("smoke.short", "v\u00e4lue");
control.SetValue("smoke.empty", "");
equal(control.GetValue("smoke.long"), long, "a 100,000-character value comes back whole");
answer("GetValue(smoke.short)", control.GetValue("smoke.short"));
var refused = false;
try { control.SetValue("not a name", "x"); } catch (e) { refused = true; answer("SetValue refused", e.number >>> 0); }
answer("SetValue(not a name) raised", refused);

control.StartMiVoVA();
clientLogAtLeast(1);
control.DownLoad(-1, 0, 2147483647);
control.ShowDetailPage("http://example.test/v/12?a=1&b=2");
control.OnlinePlay("http://example.test/live/\u5f71");
control.RunMivoPlayer("\\custom=" + long.substr(0, 2000));
control.RunMivoPlayer("");
var log = clientLogAtLeast(6);
equal(log.length, 6, "the client was started and took five commands");
for (var i = 0; i < log.length; i++)
    answer("client record " + i, log[i].kind + " " + (log[i].bytes || "") + " " + log[i].text.length + " " + log[i].text.substr(0, 80));

var unknown = false;
try { control.IsInstaled(); } catch (e) { unknown = true; }
check(unknown, "a misspelt method name is refused");
