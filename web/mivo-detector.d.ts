// Types of mivo-detector.js, for the script form (the global MivoDetector,
// declared at the end); the build writes them for the module forms
// (mivo-detector.mjs, mivo-detector.cjs) without the global.

export type ErrorCode =
  | "EXTENSION_UNAVAILABLE"
  | "HOST_UNAVAILABLE"
  | "NOT_ALLOWED"
  | "TIMEOUT"
  | "VERSION_MISMATCH"
  | "BAD_ARGUMENTS"
  | "METHOD_FAILED"
  | "TOO_LARGE"
  | "CONTROL_UNAVAILABLE"
  | "BAD_REQUEST"
  | "UNKNOWN_METHOD"
  | "INTERNAL";

export interface MivoDetectorError extends Error {
  // A code from the host that this library does not know yet stays a string.
  code: ErrorCode | (string & {});
}

// Node-style: the error or null first; the value only without an error.
export type Callback<T> = (error: MivoDetectorError | null, value?: T) => void;

// A method with these arguments answering T: a promise without a trailing
// callback, nothing with one.
interface Call<A extends unknown[], T> {
  (...args: A): Promise<T>;
  (...args: [...A, Callback<T>]): void;
}

export interface Detector {
  readonly road: "activex" | "extension";
  // The host's version on the extension road; null on the ActiveX road.
  readonly version: string | null;
  // Present on the extension road only.
  readonly extensionVersion?: string | null;

  IsMiVoVAReady: Call<[], boolean>;
  StartMiVoVA: Call<[], null>;
  IsInstalled: Call<[], boolean>;
  IsSupportDownload: Call<[], boolean>;
  DownLoad: Call<[pid: number, vid: number, playlistId: number], null>;
  ShowDetailPage: Call<[url: string], null>;
  // a.b.c.d packed as bytes, a highest; 0 when unreadable.
  GetMivoVAVersion: Call<[], number>;
  OnlinePlay: Call<[url: string], null>;
  RunMivoPlayer: Call<[command: string], null>;
  GetFirstInstallTime: Call<[], string>;
  // null when the client recorded no id.
  GetUserId: Call<[], number | null>;
  IsShortcutCreated: Call<[playlistId: number], boolean>;
  GetValue: Call<[key: string], string>;
  SetValue: Call<[key: string, value: string], null>;
  // source: 0 QuickLunch, 1 UrlQuickLunch, 2 WholeNetworkQuickLunch.
  IsShortcutCreatedEx: Call<[playlistId: number, source: number], boolean>;
  GetChannelNum: Call<[], number>;
  IsEnableCreateShortcut: Call<[channel: number], boolean>;
  GetInstallTime: Call<[], string>;
}

export type MethodName = Exclude<keyof Detector, "road" | "version" | "extensionVersion">;

export interface ConnectOptions {
  // ms to find the extension (default 3000).
  timeout?: number;
  // ms for each call on the extension road (default 10000).
  callTimeout?: number;
}

export interface ExtensionInfo {
  extension: string;
  version: string;
}

export interface MivoDetectorApi {
  readonly methods: readonly MethodName[];
  connect(options?: ConnectOptions | null): Promise<Detector>;
  connect(callback: Callback<Detector>): void;
  connect(options: ConnectOptions | null | undefined, callback: Callback<Detector>): void;
  ping(options?: { timeout?: number } | null): Promise<ExtensionInfo>;
  ping(callback: Callback<ExtensionInfo>): void;
  ping(options: { timeout?: number } | null | undefined, callback: Callback<ExtensionInfo>): void;
}

export declare const MivoDetector: MivoDetectorApi;
export declare const connect: MivoDetectorApi["connect"];
export declare const ping: MivoDetectorApi["ping"];
export default MivoDetector;

declare global {
  // The script form: <script src="mivo-detector.js">.
  var MivoDetector: MivoDetectorApi;
}
