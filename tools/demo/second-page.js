// A second page in a new process reads back what the first one stored.
var shell = new ActiveXObject("WScript.Shell");
var vars = shell.Environment("PROCESS"), key = vars("MV_DEMO_KEY"), value = vars("MV_DEMO_VALUE");
var got = new ActiveXObject("MiVoVA.MiVoDector").GetValue(key);
WScript.Echo('  A second cscript process: GetValue("' + key + '") -> "' + got + '"   ' +
             (got === value ? "the value stored by the first process" : 'UNEXPECTED, wanted "' + value + '"'));
WScript.Echo("PAGE-RESULT " + (got === value ? 0 : 1));
