// First process: values stored for the second one to read.
var control = create();
var text = "caf\u00e9 \u5f71\u97f3 <&> \"quoted\"";
equal(control.GetValue("e2e.greeting"), "", "a key never stored reads empty");
control.SetValue("e2e.greeting", "first");
control.SetValue("e2e.greeting", "hello across processes");
control.SetValue("e2e.text", text);
control.SetValue("e2e.markup", "<&> \"quoted\" 'single'");
control.SetValue("e2e.empty", "");
equal(control.GetValue("e2e.greeting"), "hello across processes", "the last value stored wins");
equal(control.GetValue("e2e.text"), text, "non-ASCII and markup characters in this process");
equal(create().GetValue("e2e.text"), text, "a second control object shares the store");
