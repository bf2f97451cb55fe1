// An engine DLL of another version for tests: it has no code of its own, and every function
// it offers is forwarded to the full engine beside it (the exports come from a .def file).
