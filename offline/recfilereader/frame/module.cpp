// The shared object's own translation unit. Everything it exports comes from the library core
// (the entry point CreateRecordingReader); the module needs no start-up code of its own here.
