' The same shortcut seen from VBScript.
Dim control, playlist
Set control = CreateObject("MiVoVA.MiVoDector")
playlist = CLng(Fact("PLAYLIST"))
Equal control.IsShortcutCreated(playlist), True, "IsShortcutCreated"
Equal control.ISSHORTCUTCREATEDEX(playlist, 0), False, "ISSHORTCUTCREATEDEX, plain launch key absent"
