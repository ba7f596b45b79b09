// The playlist shortcut on the desktop, by both methods and every launch key.
// The installation wrote one shortcut to the client: "\UrlQuickLunch=<name>,<id>".
var control = create();
var playlist = Number(fact("PLAYLIST"));
equal(control.IsShortcutCreated(playlist), true, "IsShortcutCreated for the desktop's playlist");
equal(control.IsShortcutCreated(playlist + 1), false, "IsShortcutCreated for another playlist");
equal(control.IsShortcutCreatedEx(playlist, 1), true, "IsShortcutCreatedEx, URL launch key");
equal(control.IsShortcutCreatedEx(playlist, 0), false, "IsShortcutCreatedEx, plain launch key absent");
equal(control.IsShortcutCreatedEx(playlist, 2), false, "IsShortcutCreatedEx, whole-network key absent");
equal(control.IsShortcutCreatedEx(playlist, 5), true, "IsShortcutCreatedEx, a source with no key");
equal(control.isshortcutcreatedex(playlist, 1), true, "isshortcutcreatedex, name in lower case");
