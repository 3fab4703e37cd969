// The shared library is the core library as a whole (linked in completely); its exports
// are the Orvane_* functions of Exports.cpp, and exports.map keeps everything else hidden.
// A shared-library target needs at least one source of its own: this is it.
