/*
 * mivo-detector.js: one API for a web page to reach the Mivo desktop client,
 * in every browser.
 *
 *   Internet Explorer (and Edge's IE mode): the MivoDetector ActiveX control.
 *   Chrome, Edge, Firefox: the MivoDetector extension, which hands the calls
 *   to the MivoBridge native messaging host.
 *
 * One file, no build step, no dependency. Written in the JavaScript that
 * IE 11 and Windows Script Host run (ES3 syntax with ES5 built-ins): no arrow
 * functions, no let/const, and Promise only where it exists.
 *
 *   MivoDetector.connect({timeout: 3000}).then(function (detector) {
 *       return detector.IsInstalled();
 *   });
 *   MivoDetector.connect({}, function (error, detector) { ... });
 */
(function (root) {
    "use strict";

    // The control's eighteen methods, in their dispatch order, with their
    // argument types: "i" a signed 32-bit integer, "s" a string. The build
    // writes this list into the extension's request checks as it stands.
    var METHODS = [
        ["IsMiVoVAReady", ""], ["StartMiVoVA", ""], ["IsInstalled", ""], ["IsSupportDownload", ""],
        ["DownLoad", "iii"], ["ShowDetailPage", "s"], ["GetMivoVAVersion", ""], ["OnlinePlay", "s"],
        ["RunMivoPlayer", "s"], ["GetFirstInstallTime", ""], ["GetUserId", ""], ["IsShortcutCreated", "i"],
        ["GetValue", "s"], ["SetValue", "ss"], ["IsShortcutCreatedEx", "ii"], ["GetChannelNum", ""],
        ["IsEnableCreateShortcut", "i"], ["GetInstallTime", ""]
    ];
    var PROG_ID = "MiVoVA.MiVoDector";
    // Message types shared with the extension's content script.
    var REQUEST = "mivo-detector:request";
    var ANSWER = "mivo-detector:answer";
    var CONNECT_TIMEOUT_MS = 3000;
    // Longer than the control's own 5 s bound on handing a command to a hung client.
    var CALL_TIMEOUT_MS = 10000;
    var PING_INTERVAL_MS = 250;

    function fail(code, message) {
        var error = new Error(message);
        error.code = code;
        return error;
    }

    // Callbacks always run after the call that asked for them has returned,
    // where there is a timer (Windows Script Host has none). A module form
    // outside a browser has no root, but a timer all the same.
    function later(fn) {
        if (typeof setTimeout === "function") setTimeout(fn, 0);
        else fn();
    }

    function isFunction(f) { return typeof f === "function"; }

    // A Node-style callback, or a promise where Promise exists. Without either
    // there is nobody to tell: the work is still done.
    function deliver(callback, start) {
        if (isFunction(callback)) {
            var called = false;
            start(function (error, value) {
                if (called) return;
                called = true;
                later(function () { callback(error || null, error ? undefined : value); });
            });
            return undefined;
        }
        if (typeof Promise === "function") {
            return new Promise(function (resolve, reject) {
                start(function (error, value) { if (error) reject(error); else resolve(value); });
            });
        }
        start(function () {});
        return undefined;
    }

    function isInt32(v) {
        return typeof v === "number" && v % 1 === 0 && v >= -2147483648 && v <= 2147483647;
    }

    // The same checks as the host's, so that both roads refuse the same calls.
    function argumentProblem(types, args) {
        if (args.length !== types.length)
            return "takes " + types.length + " argument" + (types.length === 1 ? "" : "s") + ", not " + args.length;
        for (var i = 0; i < types.length; i++) {
            var ok = types.charAt(i) === "i" ? isInt32(args[i]) : typeof args[i] === "string";
            if (!ok) return "argument " + (i + 1) + " must be " + (types.charAt(i) === "i" ? "a 32-bit integer" : "a string");
        }
        return null;
    }

    // A detector: the eighteen methods, each handing checked arguments to
    // road(name, args, done).
    function makeDetector(roadName, version, road) {
        var detector = { road: roadName, version: version };
        for (var i = 0; i < METHODS.length; i++) {
            detector[METHODS[i][0]] = method(METHODS[i][0], METHODS[i][1], road);
        }
        return detector;
    }

    function method(name, types, road) {
        return function () {
            var args = [];
            for (var i = 0; i < arguments.length; i++) args.push(arguments[i]);
            // No method takes a function: a trailing one is the callback,
            // also when an argument is missing before it.
            var callback = args.length && isFunction(args[args.length - 1]) ? args.pop() : null;
            return deliver(callback, function (done) {
                var problem = argumentProblem(types, args);
                if (problem) { done(fail("BAD_ARGUMENTS", name + " " + problem)); return; }
                try {
                    road(name, args, done);
                } catch (e) {
                    done(fail("INTERNAL", name + ": " + (e && e.message)));
                }
            });
        };
    }

    // ---- The ActiveX road ----

    function createControl() {
        try {
            /*global ActiveXObject*/
            return new ActiveXObject(PROG_ID);
        } catch (e) {
            return null; // no ActiveX here, or the control is not installed
        }
    }

    // Control methods are not script functions (no apply): call by arity.
    function invokeControl(control, name, a) {
        switch (a.length) {
            case 0: return control[name]();
            case 1: return control[name](a[0]);
            case 2: return control[name](a[0], a[1]);
            default: return control[name](a[0], a[1], a[2]);
        }
    }

    function activeXRoad(control) {
        return function (name, args, done) {
            var value;
            try {
                value = invokeControl(control, name, args);
            } catch (e) {
                done(fail("METHOD_FAILED", name + " failed in the control: " + (e && e.message)));
                return;
            }
            // The host answers null where the control writes nothing: a method
            // without a result, and GetUserId when no id is recorded (which a
            // script reads as 0 or undefined).
            if (value === undefined || (name === "GetUserId" && value === 0)) value = null;
            done(null, value);
        };
    }

    // ---- The extension road ----

    // One channel per page: requests posted to the page's own window, where
    // the extension's content script picks them up; answers come back the same way.
    function ExtensionChannel(win) {
        var pending = {};
        var counter = 0;
        var prefix = "md" + Math.floor(Math.random() * 1e9) + "-";
        var target = win.location && win.location.origin && win.location.origin !== "null" ? win.location.origin : "*";

        win.addEventListener("message", function (event) {
            var m = event.data;
            if (event.source !== win || !m || m.type !== ANSWER || !pending.hasOwnProperty(m.id)) return;
            var entry = pending[m.id];
            delete pending[m.id];
            win.clearTimeout(entry.timer);
            if (m.error) entry.done(fail(String(m.error.code || "HOST_ERROR"), String(m.error.message || m.error.code)));
            else entry.done(null, m.result === undefined ? null : m.result);
        }, false);

        // done(error, result) exactly once; TIMEOUT when nothing came back in time.
        this.send = function (name, args, timeoutMs, done) {
            var id = prefix + (++counter);
            pending[id] = {
                done: done,
                timer: win.setTimeout(function () {
                    if (!pending.hasOwnProperty(id)) return;
                    delete pending[id];
                    done(fail("TIMEOUT", name + " was not answered within " + timeoutMs + " ms"));
                }, timeoutMs)
            };
            win.postMessage({ type: REQUEST, id: id, method: name, args: args }, target);
            return id;
        };
        this.forget = function (id) {
            if (!pending.hasOwnProperty(id)) return;
            win.clearTimeout(pending[id].timer);
            delete pending[id];
        };
    }

    // The extension answers "$ping" itself. The content script may not be in
    // the page yet when the page starts: ask again until the deadline.
    function findExtension(channel, win, timeoutMs, done) {
        var asked = [], finished = false;
        function finish(error, value) {
            if (finished) return;
            finished = true;
            win.clearInterval(retry);
            win.clearTimeout(deadline);
            for (var i = 0; i < asked.length; i++) channel.forget(asked[i]);
            done(error, value);
        }
        function ask() {
            // Each ping outlives the deadline: the deadline alone decides.
            asked.push(channel.send("$ping", [], timeoutMs + 1000, function (error, value) {
                if (!error) finish(null, value);
                else if (error.code !== "TIMEOUT") finish(error);
            }));
        }
        var retry = win.setInterval(ask, PING_INTERVAL_MS);
        var deadline = win.setTimeout(function () {
            finish(fail("EXTENSION_UNAVAILABLE", "the MivoDetector extension did not answer within " + timeoutMs + " ms"));
        }, timeoutMs);
        ask();
    }

    function hasWindow(win) {
        return win && isFunction(win.postMessage) && isFunction(win.addEventListener);
    }
    var NO_WINDOW = "no browser window to reach an extension from";

    function connectExtension(win, options, done) {
        if (!hasWindow(win)) { done(fail("EXTENSION_UNAVAILABLE", NO_WINDOW)); return; }
        var channel = new ExtensionChannel(win);
        var callTimeout = options.callTimeout > 0 ? options.callTimeout : CALL_TIMEOUT_MS;
        findExtension(channel, win, options.timeout > 0 ? options.timeout : CONNECT_TIMEOUT_MS, function (error, extension) {
            if (error) { done(error); return; }
            channel.send("$hello", [], callTimeout, function (error, hello) {
                if (error) {
                    if (error.code === "UNKNOWN_METHOD")
                        error = fail("VERSION_MISMATCH", "the MivoBridge host is too old to tell its version");
                    done(error);
                    return;
                }
                var offered = {};
                var list = hello && hello.methods && hello.methods.length ? hello.methods : [];
                for (var i = 0; i < list.length; i++) offered[list[i]] = true;
                var detector = makeDetector("extension", hello && hello.version ? String(hello.version) : null,
                    function (name, args, answer) {
                        if (!offered[name]) {
                            answer(fail("VERSION_MISMATCH", "the MivoBridge host " + (hello && hello.version) + " has no method " + name));
                            return;
                        }
                        channel.send(name, args, callTimeout, answer);
                    });
                detector.extensionVersion = extension && extension.version ? String(extension.version) : null;
                done(null, detector);
            });
        });
    }

    var pingChannel = null;

    var MivoDetector = {
        methods: (function () {
            var names = [];
            for (var i = 0; i < METHODS.length; i++) names.push(METHODS[i][0]);
            return names;
        })(),

        // connect(options[, callback]): the ActiveX road where the control can
        // be created, the extension road otherwise.
        connect: function (options, callback) {
            if (isFunction(options)) { callback = options; options = null; }
            options = options || {};
            return deliver(callback, function (done) {
                var control = createControl();
                if (control) {
                    // The page cannot read the control's file version.
                    done(null, makeDetector("activex", null, activeXRoad(control)));
                    return;
                }
                try {
                    connectExtension(root, options, done);
                } catch (e) {
                    done(fail("EXTENSION_UNAVAILABLE", "the extension cannot be reached: " + (e && e.message)));
                }
            });
        },

        // The extension's own answer, with no host behind it (for measuring).
        ping: function (options, callback) {
            if (isFunction(options)) { callback = options; options = null; }
            options = options || {};
            return deliver(callback, function (done) {
                if (!hasWindow(root)) { done(fail("EXTENSION_UNAVAILABLE", NO_WINDOW)); return; }
                try {
                    if (!pingChannel) pingChannel = new ExtensionChannel(root);
                    pingChannel.send("$ping", [], options.timeout > 0 ? options.timeout : CONNECT_TIMEOUT_MS, done);
                } catch (e) {
                    done(fail("EXTENSION_UNAVAILABLE", String(e && e.message)));
                }
            });
        }
    };

    root.MivoDetector = MivoDetector;
})(typeof window !== "undefined" ? window : this);
