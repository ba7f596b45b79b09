#pragma once
// --status: for each browser and scope, whether the host is registered, the
// manifest path, whether that manifest names this executable; whether the
// control loads and answers from the host's folder; the site lock; and the
// browser policies that keep a browser from the host.
namespace mv::bridge {

// Prints the report on standard output. Exit code 0 only when the site lock
// lets some site in, the control answers such a site and at least one
// browser will start this host, its policies considered.
int PrintHostStatus();

}  // namespace mv::bridge
