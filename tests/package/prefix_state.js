// What a stopped Wine prefix holds, for the package test:
//   snap PREFIX OUT                   its registry (system.reg, user.reg), folders and files
//   same BEFORE AFTER                 nothing added, changed or removed
//   match PKG0 PKG1 REF0 REF1 SCOPE   the keys the package wrote are those that
//                                     registration wrote, paths aside
'use strict';
const fs = require('fs');
const path = require('path');

// Rows "K root\key" for each key and "V root\key|name=value" for each value;
// names and keys case-folded, as the registry compares them.
function registry(prefix) {
    const rows = new Set();
    for (const [file, root] of [['system.reg', 'HKLM'], ['user.reg', 'HKCU']]) {
        let key = null;
        const lines = fs.readFileSync(path.join(prefix, file), 'utf8').replace(/\\\n\s*/g, '').split('\n');
        for (const line of lines) {
            const section = line.match(/^\[(.*)\]( \d+)?$/);
            if (section) {
                key = `${root}\\${section[1].replace(/\\\\/g, '\\')}`.toLowerCase();
                rows.add(`K ${key}`);
                continue;
            }
            const value = key && line.match(/^(@|"(?:[^"\\]|\\.)*")=(.*)$/);
            if (value) rows.add(`V ${key}|${value[1].toLowerCase()}=${value[2]}`);
        }
    }
    return rows;
}

function files(dir, base = dir, list = []) {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
        const full = path.join(dir, entry.name);
        const name = path.relative(base, full).split(path.sep).join('\\').toLowerCase();
        if (entry.isDirectory() && !entry.isSymbolicLink()) {
            list.push(`D ${name}`);
            files(full, base, list);
        } else list.push(`F ${name} ${fs.lstatSync(full).size}`);
    }
    return list;
}

// Wine keeps its own books as it runs, and Windows Installer its records
// (which source a repair used last, empty containers); none of it is the
// package's.
const noise = [/^[kv] (hklm|hkcu)\\software\\(classes\\|microsoft\\(windows\\currentversion\\)?)installer(\\|$)/,
    // Wine's msiexec also removes a class container it emptied, one that is
    // never empty outside a fresh prefix.
    /^k (hklm|hkcu)\\software\\classes\\(wow6432node\\)?(clsid|appid|interface|typelib)$/,
    /^k hklm\\software\\microsoft\\windows\\currentversion\\uninstall$/, /^d windows\\installer$/,
    // Wine's msiexec keeps its cached copy of a package removed per user
    // with a UI (/qr).
    /^f windows\\installer\\[^\\]*\.msi /,
    /^[kv] hklm\\system\\/, /\\software\\wine\\/, /^[kv] hkcu\\volatile environment/,
    /\\microsoft\\windows\\currentversion\\explorer\\/, /^[df] windows\\(temp|logs|inf)\\/, /\\temp\\[^\\]*$/,
    /^[kv] hklm\\software\\microsoft\\windows nt\\currentversion\\(perflib|profilelist)/];
const load = (file) =>
    new Set(JSON.parse(fs.readFileSync(file, 'utf8')).filter((r) => !noise.some((n) => n.test(r.toLowerCase()))));
const minus = (a, b) => [...a].filter((r) => !b.has(r));

// Keys registration stands for: the classes and the browsers' host keys.
// Both scopes' classes meet in one name (Wine registers a type library for
// the machine even when asked for the user). A path becomes <path>.
function registration(rows, view) {
    const out = new Set();
    for (const r of rows) {
        const m = r.match(/^([KV]) (hklm|hkcu)\\software\\(classes\\(wow6432node\\)?)?(.*)$/i);
        if (!m) continue;
        const inClasses = !!m[3], wow = !!m[4], rest = m[5];
        const wanted = inClasses ? wow === (view === 32) && !/^installer\\/.test(rest)
                                 : view === 64 && /nativemessaginghosts/.test(rest);
        if (!wanted) continue;
        out.add(`${m[1]} ${inClasses ? 'classes\\' : m[2] + '\\'}${rest}`
            .replace(/"[a-z]:\\\\[^"]*"/gi, '<path>').replace(/\\win(32|64)(?=$|\|)/, '\\winNN'));
    }
    return out;
}

const [cmd, ...args] = process.argv.slice(2);
if (cmd === 'snap') {
    const rows = [...registry(args[0]), ...files(path.join(args[0], 'drive_c'))];
    fs.writeFileSync(args[1], JSON.stringify(rows.sort()));
} else if (cmd === 'same') {
    const [a, b] = args.map(load);
    const diff = [...minus(b, a).map((r) => `+ ${r}`), ...minus(a, b).map((r) => `- ${r}`)];
    if (diff.length) { console.log(diff.join('\n')); process.exit(1); }
} else if (cmd === 'match') {
    const [pkg0, pkg1, ref0, ref1] = args.slice(0, 4).map(load);
    const wrote = new Set(minus(pkg1, pkg0)), registered = new Set(minus(ref1, ref0));
    let bad = 0;
    // Registration ran the 64-bit control: the 32-bit view must hold the same
    // classes, naming the 32-bit module, apart from the application and type
    // library keys, which both views share. Wine keeps one view of the
    // user's classes, where both land.
    for (const view of args[4] === 'user' ? [64] : [64, 32]) {
        const got = registration(wrote, view);
        const shared = /^. classes\\(appid|typelib)\\/;
        const reference = new Set([...registration(registered, 64)]
            .filter((r) => view === 64 || (r.includes('classes\\') && !shared.test(r))));
        const diff = [...minus(got, reference).map((r) => `+ ${r}`), ...minus(reference, got).map((r) => `- ${r}`)];
        if (diff.length) console.log(`${view}-bit view, package (+) against registration (-):\n${diff.join('\n')}`);
        bad += diff.length;
    }
    process.exit(bad ? 1 : 0);
}
