// Commands reach the client by both roads: started with the command on its
// command line when it is not running, by WM_COPYDATA once it runs.
var control = create();
var quotedClient = '"' + fact("CLIENT") + '"';
equal(clientLog().length, 0, "the client has not run yet");

control.DownLoad(12, 345, 6789);
var log = clientLogAtLeast(1);
equal(log.length, 1, "DownLoad with no client running: one record");
equal(log[0].kind, "start", "the client was started");
equal(log[0].text, quotedClient + " \\download=12,345,6789", "its command line: quoted path, one space, the command");
var pid = log[0].pid;

control.ShowDetailPage("http://example.test/v/12?a=1&b=2");
control.OnlinePlay("http://example.test/live/9");
control.RunMivoPlayer("\\custom=raw text");
control.DownLoad(-1, 0, 2147483647);
control.RunMivoPlayer("");
log = clientLogAtLeast(6);
var expected = ["\\DetailPage=http://example.test/v/12?a=1&b=2", "\\OnlinePlay=http://example.test/live/9",
                "\\custom=raw text", "\\download=-1,0,2147483647", ""];
equal(log.length, 6, "five more commands, five more records");
for (var i = 0; i < expected.length; i++) {
    var r = log[i + 1] || {};
    equal(r.kind, "copydata", "command " + (i + 1) + " went by WM_COPYDATA");
    equal(r.pid, pid, "to the client already running");
    equal(r.text, expected[i], "its text");
    equal(r.bytes, expected[i].length * 2, "its size: UTF-16 units, no terminator");
    equal(r.data, "0", "its dwData");
}

control.StartMiVoVA();
log = clientLog();
equal(log.length, 6, "StartMiVoVA with the client running sends nothing");
