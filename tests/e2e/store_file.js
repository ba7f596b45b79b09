// Third process: the second process's change is seen, and the store is the
// one file in the user's documents folder.
var control = create();
equal(control.GetValue("e2e.greeting"), "changed by the second process", "a change made by another process");
equal(control.GetValue("e2e.text"), "caf\u00e9 \u5f71\u97f3 <&> \"quoted\"", "non-ASCII text survives the file");
var documents = envVar("USERPROFILE") + "\\Documents";
var file = documents + "\\Mivo\u5f71\u97f3\\config\\UserData.xml";
check(mvFso.FileExists(file), "the store lives at " + file);
check(!mvFso.FileExists(file + ".bad"), "no damaged copy was set aside");
