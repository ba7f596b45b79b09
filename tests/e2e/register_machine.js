// Registration for the machine: the keys, creation by both ProgIDs, and
// removal by regsvr32 /u.
var clsid = "{B7E836F8-119E-4BB7-B12B-34ACC461DB9F}";
var classes = "HKLM\\Software\\Classes\\";
var dll = envVar("MV_E2E_CONTROL");

equal(regRead(classes + "CLSID\\" + clsid + "\\InprocServer32\\"), dll, "InprocServer32 names the control");
equal(regRead(classes + "CLSID\\" + clsid + "\\InprocServer32\\ThreadingModel"), "Apartment", "ThreadingModel");
equal(regRead(classes + "MiVoVA.MiVoDector\\CurVer\\"), "MiVoVA.MiVoDector.1", "CurVer");
equal(regRead(classes + "MiVoVA.MiVoDector.1\\CLSID\\"), clsid, "versioned ProgID");
check(regRead("HKCU\\Software\\Classes\\CLSID\\" + clsid + "\\InprocServer32\\") === null, "nothing written for the user");

equal(new ActiveXObject("MiVoVA.MiVoDector").IsEnableCreateShortcut(1), true, "created by MiVoVA.MiVoDector");
equal(new ActiveXObject("MiVoVA.MiVoDector.1").IsEnableCreateShortcut(3), false, "created by MiVoVA.MiVoDector.1");

equal(runWait('regsvr32 /s /u "' + dll + '"'), 0, "regsvr32 /u succeeds");
check(regRead(classes + "CLSID\\" + clsid + "\\InprocServer32\\") === null, "the class key is gone");
check(regRead(classes + "MiVoVA.MiVoDector\\CLSID\\") === null, "the ProgID is gone");
var refused = false;
try { new ActiveXObject("MiVoVA.MiVoDector"); } catch (e) { refused = true; }
check(refused, "the control can no longer be created");
