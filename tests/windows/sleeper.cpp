// A small program that only waits a minute: what the process tests start, plant and end.
#include <windows.h>

int main() {
  ::Sleep(60000);
  return 0;
}
