// A page author's code against the declarations: the module and the script
// form, promises and callbacks. It is type-checked, never run.
/// <reference path="./mivo-detector.d.ts" />
import MivoDetector, { connect, type Detector, type MivoDetectorError } from "./mivo-detector.mjs";

async function withPromises(): Promise<string> {
  const d: Detector = await connect({ timeout: 3000, callTimeout: 10000 });
  const road: "activex" | "extension" = d.road;
  const installed: boolean = await d.IsInstalled();
  const version: number = await d.GetMivoVAVersion();
  const user: number | null = await d.GetUserId();
  await d.DownLoad(12, 345, 6789);
  await d.SetValue("k", "v");
  const value: string = await d.GetValue("k");
  const shortcut: boolean = await d.IsShortcutCreatedEx(7, 1);
  return `${road} ${installed} ${version} ${user} ${value} ${shortcut} ${d.version ?? "no version"}`;
}

function withCallbacks(): void {
  window.MivoDetector.connect({ timeout: 1000 }, (error: MivoDetectorError | null, d?: Detector) => {
    if (error || !d) { console.log(error && error.code === "EXTENSION_UNAVAILABLE"); return; }
    d.GetChannelNum((e, channel) => console.log(e ? e.message : channel! + 1));
    d.OnlinePlay("https://video.example/live/7", (e) => console.log(e?.code));
    d.IsEnableCreateShortcut(6, (e, allowed) => console.log(allowed === true));
  });
  MivoDetector.connect((error, d) => d?.StartMiVoVA(() => {}));
  MivoDetector.ping().then((info) => console.log(info.extension, info.version, MivoDetector.methods.length));
}

export { withPromises, withCallbacks };
