// Creates the control by its version-independent ProgID and calls it by name.
// The host exits 0 even on an uncaught error: only the last line proves success.
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAILED: " + what);
        WScript.Quit(1);
    }
}

var control = new ActiveXObject("MiVoVA.MiVoDector");
check(control.IsEnableCreateShortcut(6) === true, "IsEnableCreateShortcut(6)");
check(control.IsEnableCreateShortcut(3) === false, "IsEnableCreateShortcut(3)");
check(typeof control.IsInstalled() === "boolean", "IsInstalled answers a boolean");
check(typeof control.GetInstallTime() === "string", "GetInstallTime answers a string");

var refused = false;
try {
    control.NoSuchMethod();
} catch (e) {
    refused = true;
}
check(refused, "an unknown name is refused");
WScript.Echo("SCRIPT-HOST-OK");
