#!/usr/bin/env python3
"""The extension as the stores take it, from its production build:
  OUT/MivoDetector-VERSION-chrome-edge.zip   Chrome Web Store and Edge Add-ons
  OUT/MivoDetector-VERSION-firefox.zip       Firefox Add-ons
Neither manifest has a "key": the Chrome Web Store refuses one, and each store
gives the extension its own id. Only the files the manifest loads go in, in
one order with one time stamp, so one commit always makes the same bytes.

  store-archive.py EXTENSION_DIR OUT VERSION
"""
import json
import os
import sys
import zipfile

# The earliest time a zip entry can hold.
STAMP = (1980, 1, 1, 0, 0, 0)


def loaded_files(manifest):
    background = manifest.get("background", {})
    files = set(background.get("scripts", []))
    if "service_worker" in background:
        files.add(background["service_worker"])
    for script in manifest.get("content_scripts", []):
        files.update(script.get("js", []))
    return sorted(files)


def write_archive(path, manifest, source, files):
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        entries = [("manifest.json", (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode())]
        for name in files:
            with open(os.path.join(source, name), "rb") as file:
                entries.append((name, file.read()))
        for name, data in sorted(entries):
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            archive.writestr(info, data, compresslevel=9)
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: store-archive.py EXTENSION_DIR OUT VERSION")
    source, out, version = sys.argv[1:]
    with open(os.path.join(source, "manifest.json"), encoding="utf-8") as file:
        manifest = json.load(file)
    manifest.pop("key", None)
    files = loaded_files(manifest)
    missing = [name for name in files if not os.path.isfile(os.path.join(source, name))]
    if missing:
        sys.exit(f"store-archive: the manifest loads {', '.join(missing)}, which {source} lacks")
    os.makedirs(out, exist_ok=True)
    write_archive(os.path.join(out, f"MivoDetector-{version}-firefox.zip"), manifest, source, files)
    # Chrome and Edge run the service worker and know nothing of Firefox's keys.
    chromium = dict(manifest)
    chromium.pop("browser_specific_settings", None)
    chromium["background"] = {"service_worker": manifest["background"]["service_worker"]}
    write_archive(os.path.join(out, f"MivoDetector-{version}-chrome-edge.zip"), chromium, source, files)


if __name__ == "__main__":
    main()
