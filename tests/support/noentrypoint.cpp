// A library that is loadable but lacks the compression entry point.
extern "C" __attribute__((visibility("default"))) int NotTheEntryPoint() { return 1; }
