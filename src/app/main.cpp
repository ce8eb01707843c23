#include "app/BuildVariant.h"

int main() { return kSecondBuild ? 0 : 0; }
