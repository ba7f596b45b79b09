#!/usr/bin/env node
// Writes what one installer package holds, as data for wixl and msibuild:
//   product.wxs      files, components, searches, upgrade rules
//   Registry.idt     every registry row (imported over the table wixl makes)
//   Upgrade.idt      the upgrade rules (likewise)
//   fixups.sql       component conditions wixl cannot express
//   *.json           the host manifests the browsers read
// The registry rows come from the sources the control's registrar scripts,
// its type library and `MivoBridge --register` are built from (the host's
// from the identity the build wrote for it), so a package
// writes what registration writes and the two cannot drift.
//
//   layout.js --arch x64|x86 --version x.y.z[.w] --out DIR --host EXE
//             --identity BUILD/generated/HostIdentity.json --control DLL32 [--control DLL64 for x64] [--root REPO]
'use strict';
const fs = require('fs');
const path = require('path');

const args = { control: [] };
for (let i = 2; i < process.argv.length; i += 2) {
    const name = process.argv[i].replace(/^--/, '');
    if (name === 'control') args.control.push(process.argv[i + 1]);
    else args[name] = process.argv[i + 1];
}
const root = args.root || path.resolve(__dirname, '../..');
const arch = args.arch;
const out = args.out;
const expected = arch === 'x64' ? 2 : 1;
if (!['x64', 'x86'].includes(arch) || !/^\d+\.\d+\.\d+(\.\d+)?$/.test(args.version || '') || !out || !args.host || !args.identity ||
    args.control.length !== expected) {
    console.error('usage: layout.js --arch x64|x86 --version x.y.z[.w] --out DIR --host EXE --identity JSON --control DLL32 [--control DLL64]');
    process.exit(2);
}
const read = (file) => fs.readFileSync(path.join(root, file), 'utf8');
function fail(text) {
    console.error(`layout.js: ${text}`);
    process.exit(1);
}
function must(match, what) {
    if (!match) fail(`cannot find ${what} in the sources`);
    return match;
}

// ---- The registrar scripts (.rgs) -------------------------------------------
// Flattened into rows {key, name, value}: name null is the default value,
// value null an empty key. `owned` lists the keys whose whole tree is ours to
// remove.
function parseScript(text, replacements) {
    // A bare class id in braces is a name, not a block.
    const tokens = text.match(/'[^']*'|\{[0-9A-Fa-f-]{36}\}|[{}=]|[^\s{}=']+/g) || [];
    let at = 0;
    const next = () => tokens[at++];
    const peek = () => tokens[at];
    const unquote = (t) => (t.startsWith("'") ? t.slice(1, -1) : t).replace(/%(\w+)%/g, (m, v) => {
        if (!(v in replacements)) fail(`registrar script names %${v}%, which the package cannot fill`);
        return replacements[v];
    });
    const rows = [];
    const owned = [];
    // A script's top keys are ours (the ProgIDs) unless marked NoRemove; the
    // keys right below a NoRemove top key (CLSID, AppID) are ours.
    function body(parent, depth, parentKept) {
        if (next() !== '{') fail('registrar script: "{" expected');
        while (peek() !== '}') {
            if (peek() === undefined) fail('registrar script: unclosed "{"');
            let marker = null;
            if (['NoRemove', 'ForceRemove', 'Delete'].includes(peek())) marker = next();
            if (marker === 'Delete') fail('registrar script: Delete is not supported');
            if (peek() === 'val') {
                next();
                const name = unquote(next());
                if (next() !== '=' || next() !== 's') fail('registrar script: only string values are supported');
                rows.push({ key: parent, name, value: unquote(next()) });
                continue;
            }
            const key = parent ? `${parent}\\${unquote(next())}` : unquote(next());
            let value = null;
            if (peek() === '=') {
                next();
                if (next() !== 's') fail('registrar script: only string values are supported');
                value = unquote(next());
            }
            const kept = marker === 'NoRemove';
            if (!kept) rows.push({ key, name: null, value });
            if (!kept && (depth === 1 || (depth === 2 && parentKept))) owned.push(key);
            if (peek() === '{') body(key, depth + 1, kept);
        }
        next();
    }
    if (next() !== 'HKCR') fail('registrar script: root HKCR expected');
    body('', 1, false);
    // A key with no value of its own is written empty only when nothing else
    // would create it.
    const written = new Set(rows.filter((r) => r.value !== null).map((r) => r.key));
    const below = (k) => [...written].some((w) => w.startsWith(k + '\\'));
    return { rows: rows.filter((r) => r.value !== null || !(written.has(r.key) || below(r.key))), owned };
}

// ---- The type library (from its IDL) ----------------------------------------
function typeLibrary() {
    const idl = read('src/server/MVDetectorAX.idl');
    const lib = must(idl.match(/uuid\(([0-9A-Fa-f-]{36})\),\s*version\((\d+)\.(\d+)\),\s*helpstring\("([^"]*)"\)\s*\]\s*library\s+\w+/),
        'the library block of MVDetectorAX.idl');
    const interfaces = [];
    for (const m of idl.matchAll(/\[([^\]]*)\]\s*interface\s+(\w+)\s*:\s*\w+/g)) {
        const attrs = m[1];
        // Automation-compatible interfaces are the ones the type library registers.
        if (!/\b(dual|oleautomation)\b/.test(attrs)) continue;
        interfaces.push({ iid: `{${must(attrs.match(/uuid\(([0-9A-Fa-f-]{36})\)/), 'an interface uuid')[1].toUpperCase()}}`, name: m[2] });
    }
    // LIBFLAG_FRESTRICTED 1, FCONTROL 2, FHIDDEN 4 from the attributes, and
    // FHASDISKIMAGE 8: the registered library is read from a file.
    const attrs = must(idl.match(/\[([^\]]*)\]\s*library\s/), 'the library attributes')[1];
    const flags = [['restricted', 1], ['control', 2], ['hidden', 4]].reduce((f, [a, bit]) => (new RegExp(`\\b${a}\\b`).test(attrs) ? f | bit : f), 8);
    return { libid: `{${lib[1].toUpperCase()}}`, version: `${lib[2]}.${lib[3]}`, help: lib[4], flags, interfaces };
}

// What registering the type library writes, for the module at `file`.
function typeLibraryRows(tl, file, win) {
    const base = `TypeLib\\${tl.libid}\\${tl.version}`;
    const rows = [
        { key: base, name: null, value: tl.help },
        { key: `${base}\\0\\${win}`, name: null, value: file },
        { key: `${base}\\FLAGS`, name: null, value: String(tl.flags) },
        { key: `${base}\\HELPDIR`, name: null, value: '[INSTALLDIR]' },
    ];
    const owned = [`TypeLib\\${tl.libid}`];
    const automationProxy = '{00020424-0000-0000-C000-000000000046}';
    for (const itf of tl.interfaces) {
        const key = `Interface\\${itf.iid}`;
        rows.push({ key, name: null, value: itf.name },
            { key: `${key}\\ProxyStubClsid`, name: null, value: automationProxy },
            { key: `${key}\\ProxyStubClsid32`, name: null, value: automationProxy },
            { key: `${key}\\TypeLib`, name: null, value: tl.libid },
            { key: `${key}\\TypeLib`, name: 'Version', value: tl.version });
        owned.push(key);
    }
    return { rows, owned };
}

// ---- The host (MivoBridge) --------------------------------------------------
// Its name, ids and browser keys, as the build wrote them for the host too.
function host() {
    const data = JSON.parse(fs.readFileSync(args.identity, 'utf8'));
    const ids = [...new Set(data.browsers.filter((b) => b.extensionId).map((b) => b.extensionId))];
    return {
        name: data.name,
        origins: ids.map((id) => `chrome-extension://${id}/`),
        addon: data.firefoxAddonId,
        description: data.description,
        keys: data.browsers.map((b) => ({ browser: b.browser, key: b.key, kind: b.kind })),
        offers: data.browsers.filter((b) => b.offerKey).map((b) => ({ key: `${b.offerKey}\\${b.extensionId}`, url: b.store })),
        manifestFile: data.manifestFiles,
    };
}

// The manifest as the host writes it (keys in order, two-space indent), but
// naming the host relative to the manifest's folder: the browsers resolve
// such a path against that folder, and the package cannot know the folder
// when it is built.
function manifestText(h, kind, exe) {
    const m = kind === 'Firefox' ? { allowed_extensions: [h.addon] } : { allowed_origins: h.origins };
    Object.assign(m, { description: h.description, name: h.name, path: exe, type: 'stdio' });
    const sorted = Object.fromEntries(Object.keys(m).sort().map((k) => [k, m[k]]));
    return JSON.stringify(sorted, null, 2) + '\n';
}

// ---- The package ---------------------------------------------------------------
const version = args.version;
const tl = typeLibrary();
const h = host();
const appId = must(read('src/server/Module.h').match(/\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}/i), 'the application id in Module.h')[0];
const hostExe = args.host;
const controls = [{ id: 'Control32', file: args.control[0], win64: false, win: 'win32' }];
if (arch === 'x64') controls.push({ id: 'Control64', file: args.control[1], win64: true, win: 'win64' });
const hostWin64 = arch === 'x64';

// Registry table rows: [Registry, Root, Key, Name, Value, Component_].
// Root -1 is HKLM for a per-machine installation and HKCU for a per-user one.
const registry = [];
const HKMU = -1;
function addRows(component, prefix, { rows, owned }) {
    for (const key of owned) registry.push([`${component}_${registry.length}`, HKMU, prefix + key, '-', null, component]);
    for (const r of rows)
        registry.push([`${component}_${registry.length}`, HKMU, prefix + r.key,
            r.name === null ? (r.value === null ? '*' : null) : r.name, r.value, component]);
}
for (const c of controls) {
    const fileRef = `[#${c.id}File]`;
    const classes = 'Software\\Classes\\';
    addRows(c.id, classes, parseScript(read('src/server/MVDetectorAX.rgs'), { APPID: appId, MODULE: fileRef }));
    addRows(c.id, classes, parseScript(read('src/server/MVDetector.rgs'), { APPID: appId, MODULE: fileRef }));
    addRows(c.id, classes, typeLibraryRows(tl, fileRef, c.win));
}
const hostRows = h.keys.map((k) => ({ key: k.key, name: null, value: `[#${k.kind}Manifest]` }));
hostRows.push({ key: 'Software\\MivoDetector', name: 'InstallDir', value: '[INSTALLDIR]' });
addRows('Host', '', { rows: hostRows, owned: [] });
// Chrome and Edge offer an extension that other software registered here,
// each its own store's item; Chrome reads the 32-bit view of HKLM on 64-bit
// Windows, and so does Edge.
addRows('ExtensionOffer', '', {
    rows: h.offers.map((o) => ({ key: o.key, name: 'update_url', value: o.url })),
    owned: [] });

const esc = (s) => String(s).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
const win64 = (yes) => (yes ? 'yes' : 'no');
const upgradeCode = arch === 'x64' ? '7D2B9F3A-5C41-4E8B-9A16-3F0C2D8E4B71' : '0E6A4C19-8B3D-4F27-A5E2-91D7C6B38F04';
// Holds registry rows only, so wixl cannot derive its id from a file.
const offerGuid = arch === 'x64' ? 'B3F1A6D2-47C9-4E05-8D3B-6A2E91C47F58' : 'C84E2B17-93A5-4D6F-B1C0-5E7D28F3A946';
const programFiles = arch === 'x64' ? 'ProgramFiles64Folder' : 'ProgramFilesFolder';
const search = (id, rootName, key, name, is64) =>
    `<Property Id="${id}"><RegistrySearch Id="${id}Search" Root="${rootName}" Key="${esc(key)}" Name="${name}" Type="raw" Win64="${win64(is64)}"/></Property>`;
// Where the files go: given on the command line; else where this package put
// them before in this scope (so that repair, removal and upgrade find them);
// else the client's folder, where the control finds the client's files; else
// a folder of its own ([ProgramFiles]MivoDetector, the directory's default,
// for the machine). A per-machine installation reads nothing of the
// installing user's: a folder named in HKCU may be one any user can write,
// and every user's browser and script host would load code from it.
const directoryActions = [
    ['DirRememberedUser', '[USERINSTALLDIR]', 'NOT INSTALLDIR AND NOT ALLUSERS AND USERINSTALLDIR'],
    ['DirRememberedMachine', '[MACHINEINSTALLDIR]', 'NOT INSTALLDIR AND ALLUSERS AND MACHINEINSTALLDIR'],
    ['DirFromClientUser', '[CLIENTUSERDIR]', 'NOT INSTALLDIR AND NOT ALLUSERS AND CLIENTUSERDIR'],
    ['DirFromClientMachine', '[CLIENTMACHINEDIR]', 'NOT INSTALLDIR AND CLIENTMACHINEDIR'],
    ['DirOwnPerUser', '[LocalAppDataFolder]MivoDetector\\', 'NOT INSTALLDIR AND NOT ALLUSERS'],
];
// Both sequences decide, before their CostFinalize: with a user interface
// (/qr, a double-click) the UI sequence runs first, and its CostFinalize
// would give INSTALLDIR the directory's default before the execute sequence
// got to choose. The execute sequence then keeps what the UI sequence chose.
// Numbered right after AppSearch (50 in both): wixl places an After= in the
// UI sequence after ExecuteAction, where it would come too late.
const directorySequence = (table) => `<${table}>
      ${directoryActions.map(([id, , cond], i) => `<Custom Action="${id}" Sequence="${51 + i}">${esc(cond)}</Custom>`).join('\n      ')}
    </${table}>`;
const file = (id, name, keyPath) => `<File Id="${id}" Name="${name}" Source="${name}"${keyPath ? ' KeyPath="yes"' : ''}/>`;
const wxs = `<?xml version="1.0" encoding="utf-8"?>
<!-- Made by tools/package/layout.js; the registry rows come in Registry.idt. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="MivoDetector" Language="1033" Version="${version}" Manufacturer="Mivo" UpgradeCode="${upgradeCode}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perUser" Description="MivoDetector ${version} (${arch})" Comments="The MivoDetector control and its browser host"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of MivoDetector is already installed. Remove it first to install version ${version}."/>
    <Media Id="1" Cabinet="files.cab" EmbedCab="yes"/>
    ${arch === 'x86' ? '<Condition Message="This package is for 32-bit Windows. On 64-bit Windows install the x64 package, which holds the 32-bit control too.">NOT VersionNT64</Condition>' : ''}
    ${search('USERINSTALLDIR', 'HKCU', 'Software\\MivoDetector', 'InstallDir', hostWin64)}
    ${search('MACHINEINSTALLDIR', 'HKLM', 'Software\\MivoDetector', 'InstallDir', hostWin64)}
    ${search('CLIENTUSERDIR', 'HKCU', 'Software\\MIVO\\MiVoVA', 'Path', false)}
    ${search('CLIENTMACHINEDIR', 'HKLM', 'Software\\MIVO\\MiVoVA\\InstallPath', 'Path', false)}
    ${directoryActions.map(([id, value]) => `<CustomAction Id="${id}" Property="INSTALLDIR" Value="${esc(value)}"/>`).join('\n    ')}
    ${directorySequence('InstallUISequence')}
    ${directorySequence('InstallExecuteSequence')}
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="${programFiles}">
        <Directory Id="INSTALLDIR" Name="MivoDetector">
${controls.map((c) => `          <Component Id="${c.id}" Guid="*" Win64="${win64(c.win64)}">${file(`${c.id}File`, c.file, true)}</Component>`).join('\n')}
          <Component Id="Host" Guid="*" Win64="${win64(hostWin64)}">
            ${file('HostExe', hostExe, true)}
            <!-- One value here makes wixl schedule the registry actions; the rows are Registry.idt's. -->
            <RegistryValue Root="HKMU" Key="Software\\MivoDetector" Name="InstallDir" Type="string" Value="[INSTALLDIR]"/>
            ${file('ChromiumManifest', h.manifestFile.Chromium)}
            ${file('FirefoxManifest', h.manifestFile.Firefox)}
          </Component>
          <Component Id="ExtensionOffer" Guid="${offerGuid}" Win64="no"><CreateFolder/></Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
${[...controls.map((c) => c.id), 'Host', 'ExtensionOffer'].map((id) => `      <ComponentRef Id="${id}"/>`).join('\n')}
    </Feature>
  </Product>
</Wix>
`;

const idt = (header, rows) =>
    [...header, ...rows.map((r) => r.map((v) => (v === null ? '' : String(v).replace(/\t/g, ' '))).join('\t'))].join('\r\n') + '\r\n';
// A package of the same version replaces the installed one too (513: the
// maximum included), so a rebuilt package never installs beside its twin.
const upgrade = [[`{${upgradeCode}}`, null, version, null, 513, null, 'WIX_UPGRADE_DETECTED'],
                 [`{${upgradeCode}}`, version, null, null, 2, null, 'WIX_DOWNGRADE_DETECTED']];

fs.mkdirSync(out, { recursive: true });
fs.writeFileSync(path.join(out, 'product.wxs'), wxs);
fs.writeFileSync(path.join(out, 'Registry.idt'), idt(['Registry\tRoot\tKey\tName\tValue\tComponent_',
    's72\ti2\tl255\tL255\tL0\ts72', 'Registry\tRegistry'], registry));
fs.writeFileSync(path.join(out, 'Upgrade.idt'), idt(['UpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\tRemove\tActionProperty',
    's38\tS20\tS20\tS255\ti4\tS255\ts72', 'Upgrade\tUpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes'], upgrade));
// Administrators who push the extension by policy leave the offer out.
fs.writeFileSync(path.join(out, 'fixups.sql'),
    "UPDATE `Component` SET `Condition` = 'NOT NOEXTENSIONKEYS' WHERE `Component` = 'ExtensionOffer'\n" +
    "UPDATE `Component` SET `KeyPath` = '' WHERE `Component` = 'ExtensionOffer'\n");
for (const kind of ['Chromium', 'Firefox'])
    fs.writeFileSync(path.join(out, h.manifestFile[kind]), manifestText(h, kind, hostExe));
