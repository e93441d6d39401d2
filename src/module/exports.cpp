// libnsfrex.so is the module's static library linked whole; the version script keeps every symbol
// but the entry point local.
