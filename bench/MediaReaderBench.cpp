// (Placeholder until the reader is built.)
#include <benchmark/benchmark.h>
int main() { return 0; }
