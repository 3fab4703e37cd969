// Where GTK runs. GTK is single-threaded and owns the process's default GLib main context,
// so the library must not start it on an application thread that does not expect it, nor
// run a second GTK loop next to an application's own.
//
// The rule: a caller that already owns the default main context (a GTK application calling
// from its GUI thread, inside its loop) gets the sheet nested on its own thread, as a
// modal dialog of that application. Every other caller hands the sheet to a GUI thread the
// library starts on first use; that thread initialises GTK (with its own display
// connection) and runs the default main context for the rest of the process, and the
// caller blocks until the sheet closes.
//
// Limitation: once the library's GUI thread runs, GTK belongs to it. An application that
// starts GTK on one of its own threads after that point shares GTK's global state with
// that thread, which GTK does not support; such an application must initialise GTK (and
// run its loop) before its first dialog call, and call the dialogs from its GTK thread.
#pragma once

#include <functional>

namespace orvane::dialogs::gtk {

// Runs task on the thread where the sheet has to live and returns once task called the
// completion function it is given (task may return before that and complete later from
// the loop). Returns false without running task when GTK cannot be started (no display).
bool runOnGuiThread(const std::function<void(std::function<void()> complete)>& task);

}  // namespace orvane::dialogs::gtk
