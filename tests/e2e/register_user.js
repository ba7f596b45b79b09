// Registration for one user (regsvr32 /n /i:user): the keys go to the user's
// classes, none to the machine's, and /u /n /i:user takes them away again.
var clsid = "{B7E836F8-119E-4BB7-B12B-34ACC461DB9F}";
var user = "HKCU\\Software\\Classes\\", machine = "HKLM\\Software\\Classes\\";
var dll = envVar("MV_E2E_CONTROL");

equal(regRead(user + "CLSID\\" + clsid + "\\InprocServer32\\"), dll, "InprocServer32 under the user's classes");
equal(regRead(user + "CLSID\\" + clsid + "\\InprocServer32\\ThreadingModel"), "Apartment", "ThreadingModel");
equal(regRead(user + "MiVoVA.MiVoDector\\CLSID\\"), clsid, "the ProgID under the user's classes");
equal(regRead(user + "MiVoVA.MiVoDector.1\\CLSID\\"), clsid, "the versioned ProgID under the user's classes");
check(regRead(machine + "CLSID\\" + clsid + "\\InprocServer32\\") === null, "no class key for the machine");
check(regRead(machine + "MiVoVA.MiVoDector\\CLSID\\") === null, "no ProgID for the machine");

equal(runWait('regsvr32 /s /u /n /i:user "' + dll + '"'), 0, "regsvr32 /u /n /i:user succeeds");
check(regRead(user + "CLSID\\" + clsid + "\\InprocServer32\\") === null, "the user's class key is gone");
check(regRead(user + "MiVoVA.MiVoDector\\CLSID\\") === null, "the user's ProgID is gone");
