// A library that loads but has no Out32, for the program's entry-point failure.
extern "C" int NotOut32() { return 0; }
