// A test-only gateway library that has only its init entry point.
extern "C" int dcc_init(int, int, const char*, int, int) {
  return 9;
}
