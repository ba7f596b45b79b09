' The reading methods from VBScript, created by the versioned ProgID, with
' names in other cases and methods read without parentheses.
Dim control
Set control = CreateObject("MiVoVA.MiVoDector.1")

Equal control.IsInstalled(), True, "IsInstalled()"
Equal control.isinstalled, True, "isinstalled read as a property"
Equal control.ISMIVOVAREADY, True, "ISMIVOVAREADY read as a property"
Equal control.IsSupportDownload, True, "IsSupportDownload"
Equal control.GetUserId, CLng(Fact("USER_ID")), "GetUserId"
Equal control.getfirstinstalltime, Fact("FIRST_INSTALL"), "getfirstinstalltime"
Equal control.GetInstallTime(), Fact("INSTALL"), "GetInstallTime()"
Equal control.GetChannelNum, CLng(Fact("CHANNEL")), "GetChannelNum"
Equal control.IsEnableCreateShortcut(7), True, "IsEnableCreateShortcut(7)"
Equal control.IsEnableCreateShortcut(4), False, "IsEnableCreateShortcut(4)"
Check CDbl(control.GetMivoVAVersion) >= CDbl(&H02010000), "GetMivoVAVersion is 2.1 or later: " & Hex(CDbl(control.GetMivoVAVersion))
