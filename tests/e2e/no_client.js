// No client installation: every method still answers, with neutral values,
// and nothing is started.
var control = create();
equal(control.IsInstalled(), false, "IsInstalled");
equal(control.IsMiVoVAReady(), false, "IsMiVoVAReady");
equal(control.GetMivoVAVersion(), 0, "GetMivoVAVersion");
equal(control.IsSupportDownload(), false, "IsSupportDownload");
equal(control.GetFirstInstallTime(), "", "GetFirstInstallTime");
equal(control.GetInstallTime(), "", "GetInstallTime");
equal(control.GetChannelNum(), 1011, "GetChannelNum falls back to 1011");
var id = control.GetUserId();
check(id === 0 || id === undefined, "GetUserId has nothing to tell: " + show(id));
equal(control.IsShortcutCreated(4711), false, "IsShortcutCreated");
equal(control.IsShortcutCreatedEx(4711, 5), false, "IsShortcutCreatedEx");
equal(control.IsEnableCreateShortcut(2), true, "IsEnableCreateShortcut needs no client");

control.StartMiVoVA();
control.DownLoad(1, 2, 3);
control.ShowDetailPage("http://example.test/");
control.OnlinePlay("http://example.test/");
control.RunMivoPlayer("/js");
check(!mvFso.FileExists(fact("CLIENT")), "no client appeared");
check(!mvFso.FileExists(fact("CLIENT") + ".log"), "nothing was started");

control.SetValue("no.client", "kept anyway");
equal(control.GetValue("no.client"), "kept anyway", "the store needs no client");
