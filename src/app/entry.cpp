#include "app/app.h"

int main() { return RunProgram(); }
