// Must fail the run: a check passes, then the script dies of an error.
check(true, "the first half ran");
var control = create();
control.NoSuchMethod();
check(true, "never reached");
