// Reads the stand-in client's log (tests/fixtures/standin_client): one record
// a line, {kind, pid, text}; text is the command line ("start") or the
// WM_COPYDATA payload ("copydata"), decoded from its UTF-16LE hex.
function decodeUtf16Hex(hex) {
    if (!hex || hex === "-") return "";
    var s = "";
    for (var i = 0; i + 3 < hex.length; i += 4)
        s += String.fromCharCode(parseInt(hex.substr(i + 2, 2) + hex.substr(i, 2), 16));
    return s;
}

function readClientLog(path) {
    var fso = new ActiveXObject("Scripting.FileSystemObject"), records = [];
    if (!fso.FileExists(path)) return records;
    var file = fso.OpenTextFile(path, 1);
    var text = file.AtEndOfStream ? "" : file.ReadAll();
    file.Close();
    var lines = text.split("\n");
    for (var i = 0; i < lines.length; i++) {
        var f = lines[i].replace(/\r$/, "").split(" ");
        if (f[0] === "start") records.push({ kind: "start", pid: f[1], text: decodeUtf16Hex(f[2]) });
        else if (f[0] === "copydata")
            records.push({ kind: "copydata", pid: f[1], data: f[2], bytes: Number(f[3]), text: decodeUtf16Hex(f[4]) });
        else if (f[0]) records.push({ kind: f[0], pid: f[1] });
    }
    return records;
}

// The control returns once the client has the command, but the log is the
// client's to write: wait (bounded) until it holds at least n records.
function waitForClientLog(path, n) {
    var deadline = new Date().getTime() + 20000, log = readClientLog(path);
    while (log.length < n && new Date().getTime() < deadline) log = readClientLog(path);
    return log;
}
