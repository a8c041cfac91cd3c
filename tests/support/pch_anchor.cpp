// The program that carries a set of precompiled headers for the test
// programs (tests/support/CMakeLists.txt); it is never run.
int main() { return 0; }
