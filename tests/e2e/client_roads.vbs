' StartMiVoVA starts a client that is not running; later commands are handed
' to that one client.
Dim control, fso, logPath, logText
Set control = CreateObject("MiVoVA.MiVoDector")
Set fso = CreateObject("Scripting.FileSystemObject")
logPath = Fact("CLIENT") & ".log"

Function ReadLog()
    Dim file, deadline
    ReadLog = ""
    If fso.FileExists(logPath) Then
        Set file = fso.OpenTextFile(logPath, 1)
        If Not file.AtEndOfStream Then ReadLog = file.ReadAll()
        file.Close
    End If
End Function

Function CountOf(text, word)
    CountOf = UBound(Split(vbLf & text, vbLf & word & " "))
End Function

'  ASCII text as the log's UTF-16LE hex (this VBScript has no AscW).
Function Utf16Hex(s)
    Dim i, code
    Utf16Hex = ""
    For i = 1 To Len(s)
        code = Asc(Mid(s, i, 1))
        Utf16Hex = Utf16Hex & LCase(Right("0" & Hex(code And 255), 2) & Right("0" & Hex((code \ 256) And 255), 2))
    Next
End Function

Check Not fso.FileExists(logPath), "the client has not run yet"
control.StartMiVoVA
logText = ReadLog()
Equal CountOf(logText, "start"), 1, "StartMiVoVA started the client once"
Check InStr(logText, Utf16Hex("""" & Fact("CLIENT") & """ /js")) > 0, "with the command line: quoted path, then /js"

control.StartMiVoVA
control.DownLoad 1, 2, 3
logText = ReadLog()
Equal CountOf(logText, "start"), 1, "no second client was started"
Equal CountOf(logText, "copydata"), 1, "one command handed over: the second StartMiVoVA sent nothing"
Check InStr(logText, Utf16Hex("\download=1,2,3")) > 0, "the download command reached the client"
