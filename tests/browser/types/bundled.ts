// A page of a bundler-built site: the package as installed, no script form
// on the page. Type-checked under both module resolutions, then bundled and
// run in the browser (browser.test.js).
import MivoDetector, { connect, type Detector } from "mivo-detector";

declare global {
  interface Window { bundled: Promise<[string, number, string, number]> }
}

window.bundled = connect({ timeout: 3000 }).then(async (d: Detector) =>
  [typeof (window as { MivoDetector?: unknown }).MivoDetector, MivoDetector.methods.length, d.road, await d.GetChannelNum()]);
