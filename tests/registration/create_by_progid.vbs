' Creates the control by both ProgIDs and calls it by name. The host exits 0
' even on an uncaught error: only the last line proves success.
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAILED: " & what
        WScript.Quit 1
    End If
End Sub

Dim progId, control
For Each progId In Array("MiVoVA.MiVoDector.1", "MiVoVA.MiVoDector")
    Set control = CreateObject(progId)
    Check control.IsEnableCreateShortcut(16) = True, progId & " IsEnableCreateShortcut(16)"
    Check control.IsEnableCreateShortcut(0) = False, progId & " IsEnableCreateShortcut(0)"
    Check TypeName(control.IsMiVoVAReady()) = "Boolean", progId & " IsMiVoVAReady answers a Boolean"
    Check TypeName(control.GetFirstInstallTime()) = "String", progId & " GetFirstInstallTime answers a String"
    Set control = Nothing
Next
WScript.Echo "SCRIPT-HOST-OK"
