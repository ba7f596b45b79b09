' Second process, other language: the values stored by the first.
Dim control
Set control = CreateObject("MiVoVA.MiVoDector")
Equal control.GetValue("e2e.greeting"), "hello across processes", "GetValue in a new process"
Equal control.GetValue("e2e.markup"), "<&> ""quoted"" 'single'", "markup characters survive the file"
Equal control.GetValue("e2e.empty"), "", "an empty value"
Equal control.GetValue("e2e.missing"), "", "a missing key"
control.SetValue "e2e.greeting", "changed by the second process"
