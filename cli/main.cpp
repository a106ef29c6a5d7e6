#include "OpTable.h"

int main() { return 0; }
