' Must fail the run: a check passes, then the script dies of an error.
Check True, "the first half ran"
Dim missing
missing = 1 / 0
Check True, "never reached"
