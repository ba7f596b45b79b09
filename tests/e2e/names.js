// Methods read as properties, and names in another case. JScript reads
// `o.Name` without parentheses as a property get alone.
var control = create();

equal(control.IsInstalled, true, "IsInstalled read as a property");
equal(control.IsMiVoVAReady, true, "IsMiVoVAReady read as a property");
equal(control.GetChannelNum, Number(fact("CHANNEL")), "GetChannelNum read as a property");
equal(control.GetUserId, Number(fact("USER_ID")), "GetUserId read as a property");
equal(control.GetInstallTime, fact("INSTALL"), "GetInstallTime read as a property");
equal(control.IsSupportDownload, true, "IsSupportDownload read as a property");

equal(control.isinstalled(), true, "isinstalled()");
equal(control.GETCHANNELNUM(), Number(fact("CHANNEL")), "GETCHANNELNUM()");
equal(control.getfirstinstalltime(), fact("FIRST_INSTALL"), "getfirstinstalltime()");
equal(control.ISENABLECREATESHORTCUT(16), true, "ISENABLECREATESHORTCUT(16)");

control.setvalue("names.case", "lower");
equal(control.GETVALUE("names.case"), "lower", "setvalue then GETVALUE");
