// One value through the library's ActiveX road: MV_SET stores it under
// MV_KEY, MV_EXPECT checks what is stored there.
var window = {};
eval(mvFso.OpenTextFile(envVar("MV_LIBRARY"), 1).ReadAll());
window.MivoDetector.connect(function (e, detector) {
    equal(detector.road, "activex", "the road");
    if (envVar("MV_SET")) detector.SetValue(envVar("MV_KEY"), envVar("MV_SET"), function (e) { check(!e, "stored"); });
    if (envVar("MV_EXPECT"))
        detector.GetValue(envVar("MV_KEY"), function (e, v) { equal(v, envVar("MV_EXPECT"), "read back " + envVar("MV_KEY")); });
});
