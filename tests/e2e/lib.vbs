' Check helpers put in front of every VBScript step.
Option Explicit
Dim mvShell, mvChecks, mvFailures
Set mvShell = CreateObject("WScript.Shell")
mvChecks = 0
mvFailures = 0

Function Show(v)
    If VarType(v) = vbString Then
        Show = """" & v & """"
    Else
        Show = CStr(v) & " (" & Kind(v) & ")"
    End If
End Function

Sub Check(ok, what)
    mvChecks = mvChecks + 1
    If ok Then
        WScript.Echo "ok - " & what
    Else
        mvFailures = mvFailures + 1
        WScript.Echo "FAIL - " & what
    End If
End Sub

' boolean, string, number or other: the control's ULONG answers arrive as
' another numeric subtype than a literal, yet both are numbers.
Function Kind(v)
    Select Case VarType(v)
        Case vbBoolean: Kind = "boolean"
        Case vbString: Kind = "string"
        Case vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, vbDecimal, vbByte, 16, 17, 18, 19, 20, 21: Kind = "number"
        Case Else: Kind = "other " & VarType(v)
    End Select
End Function

' Equal in value and in kind: a number must not stand in for a boolean.
Sub Equal(actual, expected, what)
    Dim same
    same = (Kind(actual) = Kind(expected))
    ' VBScript does no arithmetic on unsigned subtypes: compare as doubles.
    If same And Kind(actual) = "number" Then
        same = (CDbl(actual) = CDbl(expected))
    ElseIf same Then
        same = (actual = expected)
    End If
    If same Then
        Check True, what & ": " & Show(actual)
    Else
        Check False, what & ": " & Show(actual) & ", expected " & Show(expected)
    End If
End Sub

Function Fact(name)
    Fact = mvShell.Environment("PROCESS")("MV_FACT_" & name)
    If Fact = "" Then Err.Raise 5, , "fact " & name & " not set"
End Function

Sub MvFinish(marker)
    If mvChecks = 0 Then
        WScript.Echo "FAIL - the step checked nothing"
        WScript.Quit 1
    End If
    If mvFailures > 0 Then
        WScript.Echo mvFailures & " of " & mvChecks & " checks failed"
        WScript.Quit 1
    End If
    WScript.Echo mvChecks & " checks passed"
    WScript.Echo marker
End Sub
